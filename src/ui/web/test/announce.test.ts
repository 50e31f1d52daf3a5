import { describe, expect, it } from 'vitest';
import { announcement } from '../src/announce';
import { initial_state, type PageEvent, type PageState, step } from '../src/state';

function after(events: PageEvent[], from: PageState = initial_state()): PageState {
  return events.reduce((state, e) => step(state, e).state, from);
}
const msg = (data: unknown, now = 1): PageEvent => ({ kind: 'message', data, now });

describe('announcements', () => {
  it('follow an install through preparing, downloading, checking and success, and stay quiet otherwise', () => {
    const said: string[] = [];
    let s = initial_state();
    const events: PageEvent[] = [
      msg({ type: 'init', mode: 'install', dir: 'C:\\Corvane', gta: 'D:\\GTA V', gtaValid: true }),
      { kind: 'install' },
      msg({ type: 'stage', stage: 'download' }),
      msg({ type: 'progress', done: 0, total: 400 }, 10),
      msg({ type: 'progress', done: 200, total: 400 }, 700),
      msg({ type: 'progress', done: 400, total: 400 }, 1400),
      msg({ type: 'stage', stage: 'configure' }),
      msg({ type: 'installed', version: '1', date: 'x' }),
    ];
    for (const e of events) {
      s = step(s, e).state;
      const a = announcement(s);
      expect(a.assertive).toBe('');
      if (said.at(-1) !== a.polite) said.push(a.polite);
    }
    expect(said).toEqual([
      '',
      'Подготовка к загрузке файлов.',
      'Идет загрузка файлов.',
      'Файлы загружены, идет проверка и настройка клиента.',
      'Мультиплеер успешно установлен. Все необходимые файлы установлены.',
    ]);
  });

  it('say an error at once and nothing politely, and clear it when the form comes back', () => {
    const failed = after([
      msg({ type: 'init', mode: 'install', dir: 'C:\\Corvane', gta: 'D:\\GTA V', gtaValid: true }),
      { kind: 'install' },
      msg({ type: 'error', message: 'Не удалось скачать клиент.' }),
    ]);
    expect(announcement(failed)).toEqual({ polite: '', assertive: 'Что-то пошло не так. Не удалось скачать клиент.' });
    expect(announcement(after([{ kind: 'retry' }], failed))).toEqual({ polite: '', assertive: '' });
  });

  it('follow an uninstall to its end or its error', () => {
    const card = after([msg({ type: 'init', mode: 'uninstall', dir: 'D:\\Games\\Corvane' })]);
    expect(announcement(card)).toEqual({ polite: '', assertive: '' });
    const working = after([{ kind: 'toggleRemoveResources' }, { kind: 'uninstall' }], card);
    expect(announcement(working).polite).toBe('Удаляем файлы мультиплеера.');
    expect(announcement(after([msg({ type: 'uninstalled' })], working))).toEqual({
      polite:
        'Corvane удалён. Лаунчер, файлы мультиплеера, ярлыки и запись в списке программ удалены. Скачанные ресурсы серверов сохранены в папке клиента.',
      assertive: '',
    });
    expect(announcement(after([msg({ type: 'error', message: 'Закройте игру.' })], working))).toEqual({
      polite: '',
      assertive: 'Не удалось удалить. Закройте игру.',
    });
  });
});
