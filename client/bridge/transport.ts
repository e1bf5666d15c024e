// A transport carries one command to the host and back, and host events to
// the page. Both reject with the failure message as a plain string: callers
// compare and show those texts as they are.

export interface Transport {
  readonly kind: 'window' | 'serve';
  call(cmd: string, args: object): Promise<unknown>;
  listen(event: string, handler: (payload: unknown) => void): () => void;
}

export function failureMessage(error: unknown): string {
  if (typeof error === 'string') return error;
  if (error instanceof Error) return error.message;
  return String(error);
}
