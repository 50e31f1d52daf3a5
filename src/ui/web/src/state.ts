// The page state and every change to it: messages from the native side and the user's actions.
// `step` is pure: it returns the next state and the command text to send, if any; the store
// (store.ts) sends it and redraws.
import { type ProgressFields, record_sample, reset_progress } from './progress';

export type View = 'loading' | 'setup' | 'progress' | 'installed' | 'error' | 'uninstall' | 'uninstalled';
export type Mode = 'install' | 'uninstall';

export interface PageState extends ProgressFields {
  view: View;
  mode: Mode;
  /** A run was started and has not answered yet. */
  busy: boolean;
  errorText: string;
  installDir: string;
  gtaDir: string;
  gtaValid: boolean;
  desktopShortcut: boolean;
  startMenuShortcut: boolean;
  /** The uninstall card's "remove with all resources" check box. */
  removeResources: boolean;
  /** What the uninstall left in the client folder because it is not the client's. */
  kept: string[];
  /** The window was asked to close during the run: 'cancel' while an install stops, 'finish' while an
   * uninstall ends; the window then closes by itself. */
  closing: '' | 'cancel' | 'finish';
}

export function initial_state(): PageState {
  return {
    view: 'loading',
    mode: 'install',
    busy: false,
    errorText: '',
    installDir: '',
    gtaDir: '',
    gtaValid: false,
    desktopShortcut: true,
    startMenuShortcut: true,
    removeResources: true,
    kept: [],
    closing: '',
    ...reset_progress(),
  };
}

export type PageEvent =
  | { kind: 'message'; data: unknown; now: number }
  | { kind: 'browseInstall' }
  | { kind: 'browseGta' }
  | { kind: 'toggleDesktop' }
  | { kind: 'toggleStartMenu' }
  | { kind: 'toggleRemoveResources' }
  | { kind: 'install' }
  | { kind: 'uninstall' }
  | { kind: 'retry' }
  | { kind: 'launch' }
  | { kind: 'close' }
  | { kind: 'minimize' }
  | { kind: 'drag' };

export interface Step {
  state: PageState;
  /** Command to send now. */
  send?: string;
  /** Command to send once the new state has been drawn. */
  sendAfterRender?: string;
}

/** Joins command fields with '|', the separator of the native side. */
export function command(...fields: string[]): string {
  return fields.join('|');
}

export function can_install(s: PageState): boolean {
  return !s.busy && s.mode === 'install' && s.installDir !== '' && s.gtaValid;
}

export type UninstallPhase = 'confirm' | 'working' | 'done' | 'error';

export function uninstall_phase(view: View): UninstallPhase {
  switch (view) {
    case 'progress':
      return 'working';
    case 'uninstalled':
      return 'done';
    case 'error':
      return 'error';
    default:
      return 'confirm';
  }
}

export function step(s: PageState, e: PageEvent): Step {
  switch (e.kind) {
    case 'message':
      return on_message(s, e.data, e.now);
    case 'browseInstall':
      return s.busy ? { state: s } : { state: s, send: command('browseInstall', s.installDir) };
    case 'browseGta':
      return s.busy ? { state: s } : { state: s, send: command('browseGta', s.gtaDir) };
    case 'toggleDesktop':
      return { state: { ...s, desktopShortcut: !s.desktopShortcut } };
    case 'toggleStartMenu':
      return { state: { ...s, startMenuShortcut: !s.startMenuShortcut } };
    case 'toggleRemoveResources':
      return { state: { ...s, removeResources: !s.removeResources } };
    case 'install': {
      if (!can_install(s) || s.view !== 'setup') return { state: s };
      const next: PageState = { ...s, ...reset_progress(), busy: true, closing: '', view: 'progress' };
      const gta = s.gtaValid ? s.gtaDir : '';
      const flag = (on: boolean) => (on ? '1' : '0');
      return { state: next, send: command('install', s.installDir, gta, flag(s.desktopShortcut), flag(s.startMenuShortcut)) };
    }
    case 'uninstall': {
      const phase = uninstall_phase(s.view);
      if (s.busy || s.mode !== 'uninstall' || s.view === 'loading' || (phase !== 'confirm' && phase !== 'error')) {
        return { state: s };
      }
      return { state: { ...s, busy: true, closing: '', view: 'progress' }, send: command('uninstall', s.removeResources ? '1' : '0') };
    }
    case 'retry':
      return s.view === 'error' && s.mode === 'install' && !s.busy ? { state: { ...s, view: 'setup' } } : { state: s };
    case 'launch':
      return s.view === 'installed' ? { state: s, send: 'launch' } : { state: s };
    case 'close':
      // During a run the native side stops an install (or lets an uninstall finish), then closes.
      if (!s.busy) return { state: s, send: 'close' };
      return s.closing ? { state: s } : { state: { ...s, closing: closing_of(s.mode) }, send: 'close' };
    case 'minimize':
      return { state: s, send: 'minimize' };
    case 'drag':
      return { state: s, send: 'drag' };
  }
}

function closing_of(mode: Mode): 'cancel' | 'finish' {
  return mode === 'install' ? 'cancel' : 'finish';
}

function text_of(value: unknown): string {
  return typeof value === 'string' ? value : '';
}

function is_count(value: unknown): value is number {
  return typeof value === 'number' && Number.isFinite(value) && value >= 0;
}

/** Applies one message of the native side; anything but an object with a string "type" is ignored. */
function on_message(s: PageState, data: unknown, now: number): Step {
  if (typeof data !== 'object' || data === null) return { state: s };
  const m = data as Record<string, unknown>;
  if (typeof m.type !== 'string') return { state: s };
  switch (m.type) {
    case 'init': {
      if (m.mode === 'uninstall') {
        return { state: { ...s, mode: 'uninstall', view: 'uninstall' }, sendAfterRender: 'show' };
      }
      const next: PageState = {
        ...s,
        mode: 'install',
        view: 'setup',
        installDir: text_of(m.dir),
        gtaDir: text_of(m.gta),
        gtaValid: m.gtaValid === true,
      };
      return { state: next, sendAfterRender: 'show' };
    }
    case 'resume': {
      // After "init" in a page that comes up while a run is under way (or after it ended): the
      // choices the run was started with, and, while it runs, its progress screen. The run's last
      // messages follow.
      const next: PageState = { ...s };
      if (typeof m.desktopShortcut === 'boolean') next.desktopShortcut = m.desktopShortcut;
      if (typeof m.startMenuShortcut === 'boolean') next.startMenuShortcut = m.startMenuShortcut;
      if (typeof m.removeResources === 'boolean') next.removeResources = m.removeResources;
      if (m.running !== true || s.view === 'loading') return { state: next };
      return { state: { ...next, ...reset_progress(), busy: true, view: 'progress' } };
    }
    case 'installDir':
      return { state: { ...s, installDir: text_of(m.dir) } };
    case 'gtaDir':
      return { state: { ...s, gtaDir: text_of(m.dir), gtaValid: m.valid === true } };
    case 'stage':
      return typeof m.stage === 'string' ? { state: { ...s, stage: m.stage } } : { state: s };
    case 'progress':
      if (!is_count(m.done) || !is_count(m.total)) return { state: s };
      return { state: record_sample(s, m.done, m.total, now) };
    case 'closing':
      return s.busy ? { state: { ...s, closing: m.cancel === true ? 'cancel' : 'finish' } } : { state: s };
    case 'installed':
      return { state: { ...s, busy: false, view: 'installed' } };
    case 'uninstalled': {
      const kept = Array.isArray(m.kept) ? m.kept.filter((name): name is string => typeof name === 'string') : [];
      return { state: { ...s, busy: false, view: 'uninstalled', kept } };
    }
    case 'error':
      return { state: { ...s, busy: false, errorText: text_of(m.message), view: 'error' } };
    default:
      return { state: s };
  }
}
