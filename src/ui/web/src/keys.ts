// Keys that would reload the page: F5 and Ctrl+R (the R key in any keyboard layout).

export function is_reload_key(e: { key: string; code?: string; ctrlKey: boolean }): boolean {
  if (e.key === 'F5') return true;
  return e.ctrlKey && (e.code === 'KeyR' || e.key.toLowerCase() === 'r');
}
