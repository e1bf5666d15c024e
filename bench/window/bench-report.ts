// Hands a window benchmark page's figures to the host's bench_report command.
export async function benchReport(payload: { lines: string[]; error?: string }): Promise<void> {
  const handler = (window as { webkit?: { messageHandlers?: { tovik?: { postMessage(m: unknown): unknown } } } })
    .webkit?.messageHandlers?.tovik;
  await handler?.postMessage({ cmd: 'bench_report', args: payload });
}
