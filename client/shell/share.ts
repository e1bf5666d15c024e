// Sharing a text: the system's share sheet, a WhatsApp chat, a mail message.
// WhatsApp and mail go out as links the host opens with the system's default
// handler (an anchor with target "_blank"), never by navigating the page.

/** Hands the text to the system's share sheet, else copies it; says which it did. */
export async function shareText(title: string, text: string): Promise<'shared' | 'copied'> {
  if (typeof navigator.share === 'function') {
    try {
      await navigator.share({ title, text });
      return 'shared';
    } catch (error) {
      if (error instanceof DOMException && error.name === 'AbortError') return 'shared';
    }
  }
  await navigator.clipboard.writeText(text);
  return 'copied';
}

/** WhatsApp's click-to-chat link: the phone's digits without a leading 00 (none: the user picks the chat). */
export function whatsAppLink(text: string, phone?: string | null): string {
  const digits = (phone ?? '').replace(/\D/g, '').replace(/^00/, '');
  return `https://wa.me/${digits}?text=${encodeURIComponent(text)}`;
}

/** A new mail message to `to` with its subject and body filled in. */
export function mailLink(to: string, subject: string, body: string): string {
  return `mailto:${encodeURIComponent(to)}?subject=${encodeURIComponent(subject)}&body=${encodeURIComponent(body)}`;
}
