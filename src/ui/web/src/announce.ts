// What the page's live regions say: each change of screen once, politely, and errors at once.
import { PHASE_TEXT, progress_phase } from './progress';
import { type PageState, uninstall_phase } from './state';
import { card_text } from './uninstall_card';

export interface Announcement {
  /** For the polite live region: where the run stands; empty when there is nothing to say. */
  polite: string;
  /** For the assertive live region: the error that ended the run, or empty. */
  assertive: string;
}

const NONE: Announcement = { polite: '', assertive: '' };

export function announcement(s: PageState): Announcement {
  if (s.mode === 'uninstall') {
    const phase = uninstall_phase(s.view);
    const t = card_text(phase, s.removeResources, s.errorText, s.kept);
    if (phase === 'working') return { polite: `${t.text.replace(/\.+$/, '')}.`, assertive: '' };
    if (phase === 'done') return { polite: `${t.title}. ${t.text}`, assertive: '' };
    if (phase === 'error') return { polite: '', assertive: `${t.title}. ${t.text}` };
    return NONE;
  }
  switch (s.view) {
    case 'progress':
      return { polite: `${PHASE_TEXT[progress_phase(s)]}.`, assertive: '' };
    case 'installed':
      return { polite: 'Мультиплеер успешно установлен. Все необходимые файлы установлены.', assertive: '' };
    case 'error':
      return { polite: '', assertive: `Что-то пошло не так. ${s.errorText}` };
    default:
      return NONE;
  }
}
