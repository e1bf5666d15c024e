import { describe, expect, it } from 'vitest';
import { mailLink, whatsAppLink } from './share';

describe('share links', () => {
  it.each([
    ['+218 91-234 5678', 'https://wa.me/218912345678?text=a%20b%0A%D8%B4'],
    ['00218912345678', 'https://wa.me/218912345678?text=a%20b%0A%D8%B4'],
    [null, 'https://wa.me/?text=a%20b%0A%D8%B4'],
  ])('WhatsApp to %s', (phone, link) => {
    expect(whatsAppLink('a b\nش', phone)).toBe(link);
  });

  it('mails with subject and body encoded', () => {
    expect(mailLink('a+b@shop.test', 'Shop · POS-1', 'x & y')).toBe(
      'mailto:a%2Bb%40shop.test?subject=Shop%20%C2%B7%20POS-1&body=x%20%26%20y',
    );
  });
});
