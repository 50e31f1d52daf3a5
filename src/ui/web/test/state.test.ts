import { describe, expect, it } from 'vitest';
import { initial_state, type PageEvent, type PageState, step } from '../src/state';
import { card_text } from '../src/uninstall_card';

/** Applies events in turn and collects every command, sent now or after drawing. */
function run(events: PageEvent[], from: PageState = initial_state()) {
  let state = from;
  const sent: string[] = [];
  for (const e of events) {
    const r = step(state, e);
    state = r.state;
    if (r.send) sent.push(r.send);
    if (r.sendAfterRender) sent.push(r.sendAfterRender);
  }
  return { state, sent };
}

const msg = (data: unknown, now = 1): PageEvent => ({ kind: 'message', data, now });
const initInstall = msg({ type: 'init', version: '1.0', mode: 'install', dir: 'C:\\Corvane', gta: 'D:\\GTA V', gtaValid: true, reinstall: false });

describe('messages', () => {
  it('starts on loading with the documented initial values', () => {
    expect(initial_state()).toEqual({
      view: 'loading', mode: 'install', busy: false, errorText: '', installDir: '', gtaDir: '', gtaValid: false,
      desktopShortcut: true, startMenuShortcut: true, removeResources: true, kept: [], closing: '',
      stage: 'manifest', done: 0, total: 0, measured: false, speed: 0, sampleBytes: 0, sampleTime: 0,
    });
  });

  it('takes the folders from install-mode init and asks to be shown after drawing', () => {
    const r = step(initial_state(), initInstall);
    expect(r.state).toMatchObject({ view: 'setup', mode: 'install', installDir: 'C:\\Corvane', gtaDir: 'D:\\GTA V', gtaValid: true });
    expect(r.send).toBeUndefined();
    expect(r.sendAfterRender).toBe('show');
  });

  it('treats a missing game folder in init as empty and invalid', () => {
    const { state } = run([msg({ type: 'init', version: '1.0', mode: 'install', dir: 'C:\\Corvane' })]);
    expect(state).toMatchObject({ view: 'setup', gtaDir: '', gtaValid: false });
  });

  it('opens the uninstall card for uninstall-mode init', () => {
    const r = step(initial_state(), msg({ type: 'init', version: '1.0', mode: 'uninstall', dir: 'D:\\Games\\Corvane' }));
    expect(r.state).toMatchObject({ view: 'uninstall', mode: 'uninstall' });
    expect(r.sendAfterRender).toBe('show');
  });

  it('ignores anything but an object with a string type', () => {
    const start = initial_state();
    for (const data of [null, undefined, 'init', 42, ['init'], { type: 7 }, { mode: 'install' }, { type: 'unknown' }]) {
      expect(step(start, msg(data)).state).toBe(start);
    }
  });

  it('updates the folders from the pickers', () => {
    const { state } = run([initInstall, msg({ type: 'installDir', dir: 'E:\\Games' }), msg({ type: 'gtaDir', dir: 'E:\\Nope', valid: false })]);
    expect(state).toMatchObject({ installDir: 'E:\\Games', gtaDir: 'E:\\Nope', gtaValid: false });
  });

  it('keeps the byte counters when the stage changes', () => {
    const { state } = run([initInstall, { kind: 'install' }, msg({ type: 'progress', done: 5, total: 10, files: 1, filesTotal: 2 }, 100), msg({ type: 'stage', stage: 'configure' })]);
    expect(state).toMatchObject({ stage: 'configure', done: 5, total: 10, measured: true });
  });

  it('ignores a progress report without numeric counts', () => {
    const { state } = run([initInstall, { kind: 'install' }, msg({ type: 'progress', done: '5', total: 10 }, 100)]);
    expect(state.measured).toBe(false);
  });

  it('ends a run on installed, uninstalled or error', () => {
    const base = run([initInstall, { kind: 'install' }]).state;
    expect(step(base, msg({ type: 'installed', version: '1.2', date: 'x' })).state).toMatchObject({ busy: false, view: 'installed' });
    expect(step(base, msg({ type: 'error', message: 'Не удалось скачать клиент.' })).state).toMatchObject({
      busy: false, view: 'error', errorText: 'Не удалось скачать клиент.',
    });
    expect(step(base, msg({ type: 'uninstalled' })).state).toMatchObject({ busy: false, view: 'uninstalled', kept: [] });
    // What the uninstall left is named on its card; anything but names is dropped.
    const left = step(base, msg({ type: 'uninstalled', kept: ['notes.txt', 7, 'mods'] })).state;
    expect(left.kept).toEqual(['notes.txt', 'mods']);
    expect(card_text('done', true, '', left.kept).text).toMatch(/ Не относящееся к клиенту осталось в его папке: notes\.txt, mods\.$/);
  });
});

describe('install flow', () => {
  it('sends install with both folders and the shortcut flags, and resets the progress', () => {
    const used = { ...initial_state(), done: 7, total: 9, measured: true, speed: 3, sampleBytes: 7, sampleTime: 55, stage: 'configure' };
    const { state, sent } = run([initInstall, { kind: 'toggleStartMenu' }, { kind: 'install' }], used);
    expect(sent).toEqual(['show', 'install|C:\\Corvane|D:\\GTA V|1|0']);
    expect(state).toMatchObject({ view: 'progress', busy: true, stage: 'manifest', done: 0, total: 0, measured: false, speed: 0, sampleBytes: 0, sampleTime: 0 });
  });

  it('cannot start without an install folder or a valid game folder, nor twice', () => {
    expect(run([msg({ type: 'init', mode: 'install', dir: '', gta: 'D:\\GTA V', gtaValid: true }), { kind: 'install' }]).sent).toEqual(['show']);
    expect(run([msg({ type: 'init', mode: 'install', dir: 'C:\\C', gta: 'D:\\X', gtaValid: false }), { kind: 'install' }]).sent).toEqual(['show']);
    expect(run([initInstall, { kind: 'install' }, { kind: 'install' }]).sent).toHaveLength(2);
  });

  it('is enabled by a valid game folder picked later', () => {
    const { sent } = run([
      msg({ type: 'init', mode: 'install', dir: 'C:\\C' }),
      { kind: 'install' },
      msg({ type: 'gtaDir', dir: 'F:\\GTA', valid: true }),
      { kind: 'toggleDesktop' },
      { kind: 'install' },
    ]);
    expect(sent).toEqual(['show', 'install|C:\\C|F:\\GTA|0|1']);
  });

  it('returns from an error to the form with every value kept and without a command', () => {
    const { state, sent } = run([
      initInstall, { kind: 'toggleDesktop' }, { kind: 'install' }, msg({ type: 'error', message: 'boom' }), { kind: 'retry' },
    ]);
    expect(sent).toEqual(['show', 'install|C:\\Corvane|D:\\GTA V|0|1']);
    expect(state).toMatchObject({ view: 'setup', busy: false, installDir: 'C:\\Corvane', gtaDir: 'D:\\GTA V', gtaValid: true, desktopShortcut: false, startMenuShortcut: true });
  });

  it('sends launch only from the success screen', () => {
    expect(run([initInstall, { kind: 'launch' }]).sent).toEqual(['show']);
    expect(run([initInstall, { kind: 'install' }, msg({ type: 'installed' }), { kind: 'launch' }]).sent.at(-1)).toBe('launch');
  });

  it('refuses the pickers while busy, asks once to close (which stops the run), and allows all otherwise', () => {
    const busy = run([initInstall, { kind: 'install' }, { kind: 'close' }, { kind: 'close' }, { kind: 'browseInstall' }, { kind: 'browseGta' }]);
    expect(busy.sent).toEqual(['show', 'install|C:\\Corvane|D:\\GTA V|1|1', 'close']);
    expect(busy.state).toMatchObject({ busy: true, closing: 'cancel', view: 'progress' });
    // A close from the taskbar: the native side tells the page.
    const taskbar = run([initInstall, { kind: 'install' }, msg({ type: 'closing', cancel: true })]);
    expect(taskbar.state.closing).toBe('cancel');
    const idle = run([initInstall, { kind: 'browseInstall' }, { kind: 'browseGta' }, { kind: 'close' }, { kind: 'minimize' }, { kind: 'drag' }]);
    expect(idle.sent).toEqual(['show', 'browseInstall|C:\\Corvane', 'browseGta|D:\\GTA V', 'close', 'minimize', 'drag']);
  });
});

describe('uninstall flow', () => {
  const initUninstall = msg({ type: 'init', version: '1.0', mode: 'uninstall', dir: 'D:\\Games\\Corvane' });

  it('sends the check box state and shows the work in progress', () => {
    const checked = run([initUninstall, { kind: 'uninstall' }]);
    expect(checked.sent).toEqual(['show', 'uninstall|1']);
    expect(checked.state).toMatchObject({ view: 'progress', busy: true });
    expect(run([initUninstall, { kind: 'toggleRemoveResources' }, { kind: 'uninstall' }]).sent.at(-1)).toBe('uninstall|0');
  });

  it('can be retried after an error but not while working or after success', () => {
    const { sent } = run([
      initUninstall, { kind: 'uninstall' }, { kind: 'uninstall' }, msg({ type: 'error', message: 'x' }),
      { kind: 'uninstall' }, msg({ type: 'uninstalled' }), { kind: 'uninstall' }, { kind: 'close' },
    ]);
    expect(sent).toEqual(['show', 'uninstall|1', 'uninstall|1', 'close']);
  });

  it('is refused in install mode, and install is refused in uninstall mode', () => {
    expect(run([initInstall, { kind: 'uninstall' }]).sent).toEqual(['show']);
    expect(run([initUninstall, { kind: 'install' }]).sent).toEqual(['show']);
  });
});

describe('a page that comes up during or after a run', () => {
  const initUninstall = msg({ type: 'init', version: '1.0', mode: 'uninstall', dir: 'D:\\Games\\Corvane' });

  it('is put on the progress screen of a running install, with its choices, and follows it', () => {
    const resumed = run([initInstall, msg({ type: 'resume', running: true, desktopShortcut: false, startMenuShortcut: true })]);
    expect(resumed.state).toMatchObject({ view: 'progress', busy: true, desktopShortcut: false, startMenuShortcut: true, measured: false });
    expect(resumed.sent).toEqual(['show']);
    const { state, sent } = run(
      [
        msg({ type: 'stage', stage: 'download' }),
        msg({ type: 'progress', done: 200, total: 400, files: 2, filesTotal: 4 }, 50),
        { kind: 'close' },
        msg({ type: 'installed', version: '1.4.2', date: 'x' }),
        { kind: 'launch' },
      ],
      resumed.state,
    );
    expect(sent).toEqual(['close', 'launch']); // the native side decides what a close during the run does
    expect(state).toMatchObject({ view: 'installed', busy: false, stage: 'download', done: 200, total: 400 });
  });

  it('shows how an ended run ended, and keeps its choices for a retry', () => {
    const { state } = run([
      initInstall,
      msg({ type: 'resume', running: false, desktopShortcut: false, startMenuShortcut: false }),
      msg({ type: 'error', message: 'Не удалось скачать клиент.' }),
      { kind: 'retry' },
    ]);
    expect(state).toMatchObject({ view: 'setup', busy: false, desktopShortcut: false, startMenuShortcut: false });
    // Without the run running, resume changes only the choices.
    const idle = run([initInstall, msg({ type: 'resume', running: false })]).state;
    expect(idle).toMatchObject({ view: 'setup', busy: false, desktopShortcut: true });
  });

  it('is put on the working card of a running uninstall', () => {
    const { state, sent } = run([initUninstall, msg({ type: 'resume', running: true, removeResources: false }), { kind: 'uninstall' }]);
    expect(state).toMatchObject({ view: 'progress', busy: true, removeResources: false });
    expect(sent).toEqual(['show']); // no second uninstall while one runs
  });

  it('waits for init: a resume before it changes no screen', () => {
    const { state } = run([msg({ type: 'resume', running: true })]);
    expect(state).toMatchObject({ view: 'loading', busy: false });
  });
});
