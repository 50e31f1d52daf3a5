// The built page for keyboard and screen-reader users, in Chromium under the hosts' own
// Content-Security-Policy: axe-core on every view, an install and an uninstall done with the
// keyboard alone, what the live regions say, the progress bar's value and the folder fields'
// names; and what the policy lets the page do.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import type { Page } from 'playwright-core';
import { describe, expect, it } from 'vitest';
import {
  deliver, GTA_DIR, INSTALL_DIR, MB, page_errors, page_session, read, sent, settle, violations, wait_sent,
} from './harness';

const AXE_SOURCE = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
const SAID = { polite: '[data-testid=announce-polite]', assertive: '[data-testid=announce-assertive]' };

const session = page_session();

/**
 * axe-core's serious and critical findings on the page as it stands, as "rule: element" lines.
 * The one known finding is left out: white text on the brand red (#f72120) has a contrast of 4.0:1,
 * under the 4.5:1 that small text needs; the design keeps that colour.
 */
async function axe_findings(page: Page): Promise<string[]> {
  await page.mouse.move(1, 1); // nothing hovered: the controls as they rest
  await settle(page);
  await page.evaluate(AXE_SOURCE); // evaluated by the test's driver, which the page's policy does not govern
  return page.evaluate(async () => {
    type Node = { target: string[]; any: Array<{ data?: { contrastRatio?: number } }> };
    type Result = { id: string; impact?: string; nodes: Node[] };
    const axe = (window as unknown as { axe: { run(c: Document, o: object): Promise<{ violations: Result[] }> } }).axe;
    const { violations } = await axe.run(document, { resultTypes: ['violations'] });
    const found: string[] = [];
    for (const v of violations) {
      if (v.impact !== 'serious' && v.impact !== 'critical') continue;
      for (const node of v.nodes) {
        const element = document.querySelector(node.target[0]);
        const ratio = node.any[0]?.data?.contrastRatio ?? 0;
        const brand_red = v.id === 'color-contrast' && element?.closest('.button-red') && ratio >= 3.9 && ratio < 4.5;
        if (!brand_red) found.push(`${v.id}: ${node.target.join(' ')}`);
      }
    }
    return found;
  });
}

/** Presses Tab until the focused element matches `selector` (at most 20 times); how many it took. */
async function tab_to(page: Page, selector: string): Promise<number> {
  for (let presses = 1; presses <= 20; presses++) {
    await page.keyboard.press('Tab');
    if (await page.evaluate((s) => document.activeElement?.matches(s) ?? false, selector)) return presses;
  }
  throw new Error(`Tab never reached ${selector}`);
}

async function open_install(page_init: Record<string, unknown>): Promise<Page> {
  const page = await session.open({ width: 1000, height: 730 });
  await wait_sent(page, 'ready');
  await deliver(page, { type: 'init', version: '1.0', mode: 'install', ...page_init });
  await wait_sent(page, 'show');
  await page.locator('.setup').waitFor();
  return page;
}

async function open_uninstall(): Promise<Page> {
  const page = await session.open({ width: 675, height: 534 });
  await wait_sent(page, 'ready');
  await deliver(page, { type: 'init', version: '1.0', mode: 'uninstall', dir: 'D:\\Games\\Corvane' });
  await wait_sent(page, 'show');
  await page.locator('.uninstall-confirm').waitFor();
  return page;
}

describe('axe-core', () => {
  it('finds nothing serious on any view of the install flow', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await wait_sent(page, 'ready');
    expect(await axe_findings(page)).toEqual([]); // loading: nothing drawn yet
    await deliver(page, { type: 'init', version: '1.0', mode: 'install', dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    await page.locator('.setup').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    await page.click('.button-install');
    await page.locator('.progress').waitFor();
    await deliver(page, { type: 'stage', stage: 'download' });
    await deliver(page, { type: 'progress', done: 700 * MB, total: 2000 * MB, files: 1, filesTotal: 9 });
    expect(await axe_findings(page)).toEqual([]);
    await deliver(page, { type: 'installed', version: '1.4.2', date: '2025-11-02' });
    await page.locator('.result-ok').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    expect(await violations(page)).toEqual([]);
    await page.context().close();

    const failing = await open_install({ dir: INSTALL_DIR, gta: '', gtaValid: false });
    expect(await axe_findings(failing)).toEqual([]); // the form with the red badge and a disabled button
    await deliver(failing, { type: 'gtaDir', dir: GTA_DIR, valid: true });
    await failing.click('.button-install');
    await deliver(failing, { type: 'error', message: 'Не удалось скачать клиент.' });
    await failing.locator('.result-error').waitFor();
    expect(await axe_findings(failing)).toEqual([]);
    await failing.context().close();
  });

  it('finds nothing serious on any view of the uninstall card', async () => {
    const page = await open_uninstall();
    expect(await axe_findings(page)).toEqual([]);
    await page.click('.uninstall .button');
    await page.locator('.uninstall-working').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    await deliver(page, { type: 'error', message: 'Не удалось удалить часть файлов. Закройте игру и клиент, затем повторите.' });
    await page.locator('.uninstall-error').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    await page.click('.uninstall .button');
    await deliver(page, { type: 'uninstalled' });
    await page.locator('.uninstall-done').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    await page.context().close();
  });
});

describe('high-contrast theme', () => {
  it('keeps the controls, the ticked boxes and the progress visible under forced colours', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await page.emulateMedia({ forcedColors: 'active', colorScheme: 'light' });
    await wait_sent(page, 'ready');
    await deliver(page, { type: 'init', version: '1.0', mode: 'install', dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    await page.locator('.setup').waitFor();
    expect(await axe_findings(page)).toEqual([]);
    // What sets each part apart from the page around it: an edge, or a colour of its own.
    const looks = page.evaluate(() => {
      const style = (selector: string) => getComputedStyle(document.querySelector(selector) as Element);
      const page_colour = getComputedStyle(document.body).backgroundColor;
      const own_colour = (selector: string) => {
        const colour = style(selector).backgroundColor;
        return colour !== page_colour && colour !== 'rgba(0, 0, 0, 0)';
      };
      const edged = (selector: string) => parseFloat(style(selector).borderTopWidth) >= 1;
      return {
        button: edged('.button-install'),
        field: edged('.path-field'),
        box: edged('.check-box'),
        ticked: own_colour('.is-checked .check-box'),
      };
    });
    expect(await looks).toEqual({ button: true, field: true, box: true, ticked: true });
    await page.click('.button-install');
    await page.locator('.progress').waitFor();
    await deliver(page, { type: 'stage', stage: 'download' });
    await deliver(page, { type: 'progress', done: 700 * MB, total: 2000 * MB, files: 1, filesTotal: 9 });
    expect(await page.evaluate(() => {
      const fill = getComputedStyle(document.querySelector('.bar-fill') as Element);
      return parseFloat(getComputedStyle(document.querySelector('.bar') as Element).borderTopWidth) >= 1 &&
        fill.backgroundColor !== getComputedStyle(document.body).backgroundColor && fill.backgroundColor !== 'rgba(0, 0, 0, 0)';
    })).toBe(true);
    expect(await axe_findings(page)).toEqual([]);
    await page.context().close();
  });
});

describe('keyboard and screen reader', () => {
  it('installs with the keyboard alone, and says where the install stands', async () => {
    const page = await open_install({ dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    // The folder fields are named by their label, the game folder's also by its badge.
    expect(await page.getByRole('button', { name: `Папка установки клиента ${INSTALL_DIR}`, exact: true }).count()).toBe(1);
    expect(await page.getByRole('button', { name: `Папка Grand Theft Auto V Игра найдена ${GTA_DIR}`, exact: true }).count()).toBe(1);

    await tab_to(page, '[data-testid=install-dir]');
    await page.keyboard.press('Enter');
    await wait_sent(page, `browseInstall|${INSTALL_DIR}`);
    await tab_to(page, '.check input');
    await page.keyboard.press('Space'); // no desktop shortcut
    await tab_to(page, '.button-install');
    await page.keyboard.press('Enter');
    await wait_sent(page, `install|${INSTALL_DIR}|${GTA_DIR}|0|1`);

    await page.locator('.progress').waitFor();
    const bar = page.getByRole('progressbar', { name: 'Подготовка к загрузке файлов...' });
    expect(await bar.count()).toBe(1);
    expect(await bar.getAttribute('aria-valuenow')).toBeNull(); // indeterminate
    expect(await bar.getAttribute('aria-valuetext')).toBe('Подготовка к загрузке файлов');
    expect(await read(page, SAID)).toEqual({ polite: 'Подготовка к загрузке файлов.', assertive: '' });

    await deliver(page, { type: 'stage', stage: 'download' });
    await deliver(page, { type: 'progress', done: 0, total: 2048 * MB, files: 0, filesTotal: 9 });
    await deliver(page, { type: 'progress', done: 512 * MB, total: 2048 * MB, files: 2, filesTotal: 9 });
    const downloading = page.getByRole('progressbar', { name: 'Идет загрузка файлов...' });
    expect(await downloading.getAttribute('aria-valuenow')).toBe('25');
    expect(await downloading.getAttribute('aria-valuemin')).toBe('0');
    expect(await downloading.getAttribute('aria-valuemax')).toBe('100');
    expect(await downloading.getAttribute('aria-valuetext')).toMatch(/^25 %, 512,0 Mb из 2,0 Gb(, \d+ MB\/S, примерное время ожидания .+)?$/);
    expect(await read(page, SAID)).toEqual({ polite: 'Идет загрузка файлов.', assertive: '' });
    await deliver(page, { type: 'progress', done: 2048 * MB, total: 2048 * MB, files: 9, filesTotal: 9 });
    expect((await read(page, SAID)).polite).toBe('Файлы загружены, идет проверка и настройка клиента.');

    await deliver(page, { type: 'installed', version: '1.4.2', date: '2025-11-02' });
    await page.locator('.result-ok').waitFor();
    expect(await read(page, SAID)).toEqual({ polite: 'Мультиплеер успешно установлен. Все необходимые файлы установлены.', assertive: '' });
    await tab_to(page, '.result-ok .button');
    await page.keyboard.press('Enter');
    await wait_sent(page, 'launch');
    expect(await violations(page)).toEqual([]);
    expect(page_errors(page)).toEqual([]);
    await page.context().close();
  });

  it('announces an error at once, and the form names the missing game', async () => {
    const page = await open_install({ dir: '', gta: '', gtaValid: false });
    expect(await page.getByRole('button', { name: 'Папка установки клиента Папка не выбрана', exact: true }).count()).toBe(1);
    expect(
      await page.getByRole('button', { name: 'Папка Grand Theft Auto V Игра не обнаружена Укажи папку, в которой лежит GTA5.exe', exact: true }).count(),
    ).toBe(1);
    await deliver(page, { type: 'installDir', dir: INSTALL_DIR });
    await deliver(page, { type: 'gtaDir', dir: GTA_DIR, valid: true });
    await tab_to(page, '.button-install');
    await page.keyboard.press('Enter');
    await page.locator('.progress').waitFor();
    const message = 'Часть файлов не скачалась. Проверьте подключение к интернету и повторите.';
    await deliver(page, { type: 'error', message });
    await page.locator('.result-error').waitFor();
    expect(await read(page, SAID)).toEqual({ polite: '', assertive: `Что-то пошло не так. ${message}` });
    expect(await page.locator(SAID.assertive).getAttribute('role')).toBe('alert');
    expect(await page.locator(SAID.polite).getAttribute('role')).toBe('status');
    await tab_to(page, '.result-error .button-red');
    await page.keyboard.press('Enter');
    await page.locator('.setup').waitFor();
    expect(await read(page, SAID)).toEqual({ polite: '', assertive: '' });
    await page.context().close();
  });

  it('uninstalls with the keyboard alone, and says how it went', async () => {
    const page = await open_uninstall();
    await tab_to(page, '.uninstall .check input');
    await page.keyboard.press('Space'); // keep the resources
    await tab_to(page, '.uninstall .button');
    await page.keyboard.press('Enter');
    await wait_sent(page, 'uninstall|0');
    await page.locator('.uninstall-working').waitFor();
    expect(await read(page, SAID)).toEqual({ polite: 'Удаляем файлы мультиплеера.', assertive: '' });
    const failure = 'Не удалось удалить часть файлов. Закройте игру и клиент, затем повторите.';
    await deliver(page, { type: 'error', message: failure });
    await page.locator('.uninstall-error').waitFor();
    expect(await read(page, SAID)).toEqual({ polite: '', assertive: `Не удалось удалить. ${failure}` });
    await tab_to(page, '.uninstall .button');
    await page.keyboard.press('Enter');
    await wait_sent(page, 'uninstall|0');
    await deliver(page, { type: 'uninstalled' });
    await page.locator('.uninstall-done').waitFor();
    expect((await read(page, SAID)).polite).toBe(
      'Corvane удалён. Лаунчер, файлы мультиплеера, ярлыки и запись в списке программ удалены. Скачанные ресурсы серверов сохранены в папке клиента.',
    );
    await tab_to(page, '.uninstall .button');
    await page.keyboard.press('Enter');
    await wait_sent(page, 'close');
    expect(await sent(page)).toEqual(['ready', 'show', 'uninstall|0', 'uninstall|0', 'close']);
    expect(await violations(page)).toEqual([]);
    await page.context().close();
  });
});

describe('content security policy', () => {
  it('lets the page load everything of its own and nothing from elsewhere', async () => {
    const page = await open_install({ dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    await settle(page);
    // Its own module script, style sheet, fonts, images and video all came in under the policy.
    const own = await page.evaluate(() => ({
      fonts: [...document.fonts].filter((f) => f.status === 'loaded').length,
      images: [...document.images].every((i) => i.complete && i.naturalWidth > 0),
      styled: getComputedStyle(document.querySelector('.hero')!).position,
    }));
    expect(own).toEqual({ fonts: 6, images: true, styled: 'absolute' });
    await page.waitForFunction(() => (document.querySelector('video')?.readyState ?? 0) >= 2, null, { timeout: 10000 });
    expect(await violations(page)).toEqual([]);

    const outcome = await page.evaluate(async (other) => {
      const w = window as unknown as Record<string, unknown>;
      const inline = document.createElement('script');
      inline.textContent = 'window.__inline = true';
      document.head.appendChild(inline);
      // Text turned into code, from the page's own timer (what the driver runs itself is exempt).
      const evaluated = await new Promise<boolean>((done) =>
        setTimeout(() => {
          try {
            done(new Function('return true')() === true);
          } catch {
            done(false);
          }
        }, 0),
      );
      let fetched = false;
      try {
        await fetch(`${other}/x`);
        fetched = true;
      } catch {
        fetched = false;
      }
      const frame = document.createElement('iframe');
      frame.src = `${other}/frame`;
      document.body.appendChild(frame);
      const style = document.createElement('style');
      style.textContent = 'body { outline: 7px solid red; }';
      document.head.appendChild(style);
      await new Promise((done) => setTimeout(done, 300));
      return {
        inline: w.__inline === true,
        evaluated,
        fetched,
        inlineStyle: getComputedStyle(document.body).outlineWidth === '7px',
      };
    }, 'http://127.0.0.1:9');
    expect(outcome).toEqual({ inline: false, evaluated: false, fetched: false, inlineStyle: false });
    const refused = (await violations(page)).map((v) => v.split(' ')[0]).sort();
    expect(refused).toEqual(['connect-src', 'frame-src', 'script-src', 'script-src-elem', 'style-src-elem']);
    await page.context().close();
  });
});
