// The built page in Chromium with a fake bridge: the install flow, the error flow, the uninstall
// card, the page without a bridge, and a screenshot of every view.
import { readdirSync, statSync } from 'node:fs';
import { join, relative } from 'node:path';
import type { Page } from 'playwright-core';
import { describe, expect, it } from 'vitest';
import { ASSET_PATHS } from '../src/assets';
import {
  deliver, DIST, GTA_DIR, INSTALL_DIR, MB, page_errors, page_session, pin_now, read, screenshot, sent, settle,
  violations, wait_sent,
} from './harness';

const SAID_ASSERTIVE = '[data-testid=announce-assertive]';

const session = page_session();

async function start_install_mode(page: Page, init: Record<string, unknown>): Promise<void> {
  await wait_sent(page, 'ready');
  expect(await sent(page)).toEqual(['ready']);
  await deliver(page, { type: 'init', version: '1.0', mode: 'install', ...init });
  await wait_sent(page, 'show');
  await page.locator('.setup').waitFor();
}

const FORM = {
  installDir: '[data-testid=install-dir] .path-value',
  gtaDir: '[data-testid=gta-dir] .path-value',
  badge: '.badge',
};
const PROGRESS = { title: '.progress-title', amount: '.progress-amount', detail: '.progress-detail' };
const CARD = { title: '.uninstall h1', text: '.uninstall-text', check: '.uninstall .check-label', button: '.uninstall .button' };

const box = (page: Page, selector: string) => page.locator(selector).boundingBox();
const has_class = (page: Page, selector: string, name: string) =>
  page.locator(selector).evaluate((e, n) => e.classList.contains(n), name);
const width = (page: Page, selector: string) => page.locator(selector).evaluate((e) => e.getBoundingClientRect().width);

describe('built page', () => {
  it('consists of exactly index.html, app.js, app.css and the served assets', () => {
    const files: string[] = [];
    const walk = (dir: string) => {
      for (const name of readdirSync(dir)) {
        const path = join(dir, name);
        if (statSync(path).isDirectory()) walk(path);
        else files.push(relative(DIST, path));
      }
    };
    walk(DIST);
    expect(files.sort()).toEqual(['app.css', 'app.js', 'index.html', ...ASSET_PATHS].sort());
    const video = statSync(join(DIST, 'videos/hero.mp4')).size;
    expect(video).toBeGreaterThan(100_000);
    expect(video).toBeLessThan(7 * MB);
  });
});

describe('install flow', () => {
  it('goes from the form through progress to the client launch', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await start_install_mode(page, { dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true, reinstall: false });

    // The form, drawn in Onest, with the found game folder.
    expect(await page.evaluate(() => [document.title, document.documentElement.lang])).toEqual(['Corvane', 'ru']);
    expect(await read(page, { h1: '.setup h1', ...FORM })).toEqual({ h1: 'Установка клиента', installDir: INSTALL_DIR, gtaDir: GTA_DIR, badge: 'Игра найдена' });
    expect(await page.locator('[data-testid=gta-dir]').getAttribute('title')).toBe(GTA_DIR);
    expect(await box(page, '.hero')).toEqual({ x: 20, y: 20, width: 960, height: 280 });
    await screenshot(page, '01-setup');
    const fonts = await page.evaluate(() => [...document.fonts].filter((f) => f.status === 'loaded').map((f) => `${f.family} ${f.weight}`));
    expect(fonts).toEqual(expect.arrayContaining(['Onest 400', 'Onest 500', 'Onest 600']));

    // Dragging starts on the hero surface with the primary button only, never on a control.
    await page.mouse.click(500, 150, { button: 'right' });
    await page.click('.control[aria-label="Свернуть"]');
    await wait_sent(page, 'minimize');
    expect(await sent(page)).not.toContain('drag');
    await page.mouse.click(500, 150);
    await wait_sent(page, 'drag');

    // The pickers get the current values; their answers change the form.
    await page.click('[data-testid=install-dir]');
    await wait_sent(page, `browseInstall|${INSTALL_DIR}`);
    await deliver(page, { type: 'installDir', dir: 'E:\\Corvane' });
    expect((await read(page, FORM)).installDir).toBe('E:\\Corvane');
    await page.click('[data-testid=gta-dir]');
    await wait_sent(page, `browseGta|${GTA_DIR}`);

    await page.click('text=Создать ярлык на рабочем столе');
    await page.click('.button-install');
    await wait_sent(page, `install|E:\\Corvane|${GTA_DIR}|0|1`);

    // Preparing: indeterminate bar growing from 1 px towards 500 px.
    await page.locator('.progress').waitFor();
    expect(await has_class(page, '.hero', 'hero-full')).toBe(true);
    expect((await read(page, PROGRESS)).title).toBe('Подготовка к загрузке файлов...');
    const widths = await page.evaluate(async () => {
      const bar = document.querySelector('.bar-fill')!;
      const seen: number[] = [];
      for (let i = 0; i < 30 && new Set(seen).size < 3; i++) {
        seen.push(bar.getBoundingClientRect().width);
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
      return seen;
    });
    expect(Math.min(...widths)).toBeGreaterThanOrEqual(1);
    expect(Math.max(...widths)).toBeLessThanOrEqual(500);
    expect(new Set(widths).size).toBeGreaterThan(1);
    // Close stays offered: during a run it stops the install (state.test.ts), so it is not pressed here.
    expect(await page.locator('.control-close').isDisabled()).toBe(false);
    await deliver(page, { type: 'stage', stage: 'download' });
    await screenshot(page, '02-progress-preparing');
    expect(await box(page, '.hero')).toEqual({ x: 20, y: 20, width: 960, height: 690 });

    // Downloading: a report 200 ms after the first moves the numbers but not the speed; the
    // speed appears once 500 ms lie between samples and is then smoothed 0.7 / 0.3.
    const total = 3221225472;
    const report = async (at: number, done: number) => {
      await pin_now(page, at);
      await deliver(page, { type: 'progress', done, total, files: 1, filesTotal: 40 });
      return read(page, PROGRESS);
    };
    expect(await report(10_000, 1500 * MB)).toEqual({ title: 'Идет загрузка файлов...', amount: '1,5 Gb / 3,0 Gb', detail: '' });
    expect(await report(10_200, 1501 * MB)).toEqual({ title: 'Идет загрузка файлов...', amount: '1,5 Gb / 3,0 Gb', detail: '' });
    expect((await report(10_600, 1503 * MB)).detail).toBe('5 MB/S • Примерное время ожидания 6 минут');
    // 33 MB in a second: 5 × 0.7 + 33 × 0.3 = 13.4 MB/s, 1536 MB left: 115 s.
    expect(await report(11_600, 1610612736)).toEqual({
      title: 'Идет загрузка файлов...',
      amount: '1,5 Gb / 3,0 Gb',
      detail: '13 MB/S • Примерное время ожидания 2 минуты',
    });
    await pin_now(page, null);
    await screenshot(page, '03-progress-download');
    expect(await width(page, '.bar')).toBe(887);
    expect(await width(page, '.bar-fill')).toBeCloseTo(443.5, 0);

    await deliver(page, { type: 'stage', stage: 'configure' });
    expect(await has_class(page, '.bar', 'bar-indeterminate')).toBe(true);
    expect((await read(page, PROGRESS)).detail).toBe('');

    await deliver(page, { type: 'installed', version: '1.4.2', date: '2025-11-02' });
    await page.locator('.result-ok').waitFor();
    expect(await read(page, { title: '.result-ok h2', text: '.result-ok p' })).toEqual({
      title: 'Мультиплеер успешно установлен',
      text: 'Все необходимые файлы установлены',
    });
    expect(await has_class(page, '.hero', 'tone-green')).toBe(true);
    await screenshot(page, '04-installed');
    expect(await page.locator('.rings-green').evaluate((e) => getComputedStyle(e).opacity)).toBe('1');

    await page.click('text=Продолжить');
    await wait_sent(page, 'launch');
    const commands = await sent(page);
    expect(commands.filter((t) => t === 'close')).toEqual([]);
    expect(commands.filter((t) => t === 'show')).toHaveLength(1);
    expect(page_errors(page)).toEqual([]);
    expect(await violations(page)).toEqual([]); // the whole flow under the hosts' policy
    await page.context().close();
  });
});

describe('error flow', () => {
  it('needs a valid game folder, and after an error returns to the same form', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await start_install_mode(page, { dir: INSTALL_DIR });

    // Without a game folder: empty field, red badge, no install.
    expect(await read(page, FORM)).toEqual({ installDir: INSTALL_DIR, gtaDir: 'Укажи папку, в которой лежит GTA5.exe', badge: 'Игра не обнаружена' });
    expect(await page.locator('.button-install').isDisabled()).toBe(true);
    await screenshot(page, '05-setup-no-game');

    await deliver(page, { type: 'gtaDir', dir: GTA_DIR, valid: true });
    expect(await page.locator('.button-install').isEnabled()).toBe(true);
    await page.click('text=Добавить ярлык в меню “Пуск”');
    await page.click('.button-install');
    await wait_sent(page, `install|${INSTALL_DIR}|${GTA_DIR}|1|0`);

    const message = 'Не удалось записать файл C:\\Games\\Corvane\\client.dll (код 112). Проверьте место на диске.';
    await deliver(page, { type: 'error', message });
    await page.locator('.result-error').waitFor();
    expect(await read(page, { title: '.result-error h2', text: '.error-text' })).toEqual({ title: 'Что-то пошло не так', text: message });
    expect(await page.locator('.control-close').isEnabled()).toBe(true);
    await screenshot(page, '06-error');

    const before = (await sent(page)).length;
    await page.click('text=Повторить');
    await page.locator('.setup').waitFor();
    expect((await sent(page)).length).toBe(before);
    expect(await read(page, FORM)).toEqual({ installDir: INSTALL_DIR, gtaDir: GTA_DIR, badge: 'Игра найдена' });
    expect(await page.locator('.check input').evaluateAll((boxes) => boxes.map((b) => (b as HTMLInputElement).checked))).toEqual([true, false]);

    // The native side's refusal of a folder that is not the client's, shown whole.
    await page.click('.button-install');
    const refusal = `В папке ${INSTALL_DIR} уже есть файлы, и это не папка клиента. Выберите пустую папку или папку установленного клиента.`;
    await deliver(page, { type: 'error', message: refusal });
    await page.locator('.result-error').waitFor();
    expect(await read(page, { text: '.error-text' })).toEqual({ text: refusal });
    await page.locator('.result-actions >> text=Закрыть').click();
    await wait_sent(page, 'close');
    expect((await sent(page)).filter((t) => t.startsWith('install|'))).toEqual([
      `install|${INSTALL_DIR}|${GTA_DIR}|1|0`,
      `install|${INSTALL_DIR}|${GTA_DIR}|1|0`,
    ]);
    expect(page_errors(page)).toEqual([]);
    await page.context().close();
  });

  it('shows the longest text, a disk too small for the release, whole and above its buttons', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await start_install_mode(page, { dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    await page.click('.button-install');
    await wait_sent(page, `install|${INSTALL_DIR}|${GTA_DIR}|1|1`);
    // The native side's text for a run that would not fit on the client folder's volume.
    const message = 'Недостаточно места на диске: нужно 1,5 Gb, свободно 350,0 Mb. Освободите место и повторите.';
    await deliver(page, { type: 'error', message });
    await page.locator('.result-error').waitFor();
    expect(await read(page, { text: '.error-text' })).toEqual({ text: message });
    await page.locator(SAID_ASSERTIVE).filter({ hasText: message }).waitFor({ state: 'attached' });
    await settle(page);
    const box = await page.locator('.error-text').evaluate((e) => {
      const r = e.getBoundingClientRect();
      return { left: r.left, right: r.right, bottom: r.bottom, clipped: e.scrollHeight > e.clientHeight || e.scrollWidth > e.clientWidth };
    });
    const actions = await page.locator('.result-actions').boundingBox();
    expect(box.clipped).toBe(false);
    expect(box.left).toBeGreaterThanOrEqual(0);
    expect(box.right).toBeLessThanOrEqual(1000);
    expect(box.bottom).toBeLessThanOrEqual(actions!.y);
    await screenshot(page, '06b-error-disk-space');
    expect(page_errors(page)).toEqual([]);
    await page.context().close();
  });
});

describe('uninstall card', () => {
  it('walks through confirm, working, error and done', async () => {
    const page = await session.open({ width: 675, height: 534 });
    await wait_sent(page, 'ready');
    await deliver(page, { type: 'init', version: '1.0', mode: 'uninstall', dir: 'D:\\Games\\Corvane' });
    await wait_sent(page, 'show');
    await page.locator('.uninstall-confirm').waitFor();
    expect(await box(page, '.hero')).toEqual({ x: 20, y: 20, width: 635, height: 280 });
    expect(await read(page, { ...CARD, slogan: '.slogan' })).toEqual({
      title: 'Удаление Corvane',
      text: 'Будут удалены лаунчер, файлы мультиплеера, логи, ярлыки и запись в списке программ. Сама GTA V останется на месте.',
      check: 'Удалить мультиплеер со всеми ресурсами',
      button: 'Подтвердить и удалить',
      slogan: null,
    });
    await screenshot(page, '07-uninstall-confirm');

    await page.click('text=Подтвердить и удалить');
    await wait_sent(page, 'uninstall|1');
    await page.locator('.uninstall-working').waitFor();
    expect(await read(page, CARD)).toEqual({ title: 'Удаление Corvane', text: 'Удаляем файлы мультиплеера...', check: null, button: 'Удаление...' });
    expect(await page.locator('.uninstall .button').isDisabled()).toBe(true);
    await screenshot(page, '08-uninstall-working');
    // Closed during the removal: the removal goes on and the card says that the window closes after it.
    await page.click('.control-close');
    await wait_sent(page, 'close');
    expect((await read(page, CARD)).text).toBe('Завершаем удаление: окно закроется само, когда оно закончится.');
    expect(await page.locator('.control-close').isDisabled()).toBe(true);

    const failure = 'Не удалось удалить часть файлов. Закройте игру и клиент, затем повторите.';
    await deliver(page, { type: 'error', message: failure });
    await page.locator('.uninstall-error').waitFor();
    expect(await read(page, CARD)).toEqual({ title: 'Не удалось удалить', text: failure, check: 'Удалить мультиплеер со всеми ресурсами', button: 'Повторить' });
    await page.click('text=Удалить мультиплеер со всеми ресурсами');
    await screenshot(page, '09-uninstall-error');

    await page.click('text=Повторить');
    await wait_sent(page, 'uninstall|0');
    await deliver(page, { type: 'uninstalled' });
    await page.locator('.uninstall-done').waitFor();
    expect(await read(page, CARD)).toEqual({
      title: 'Corvane удалён',
      text: 'Лаунчер, файлы мультиплеера, ярлыки и запись в списке программ удалены. Скачанные ресурсы серверов сохранены в папке клиента.',
      check: null,
      button: 'Закрыть',
    });
    await screenshot(page, '10-uninstall-done');
    await page.click('.uninstall >> text=Закрыть');
    await wait_sent(page, 'close');
    expect(await sent(page)).toEqual(['ready', 'show', 'uninstall|1', 'close', 'uninstall|0', 'close']);
    expect(page_errors(page)).toEqual([]);
    expect(await violations(page)).toEqual([]);
    await page.context().close();
  });
});

describe('document', () => {
  it('without a bridge sends nothing and stays on loading', async () => {
    const page = await session.open({ width: 1000, height: 730, bridge: false });
    await page.waitForLoadState('load');
    await page.waitForTimeout(300);
    expect(await page.evaluate(() => [typeof window.chrome?.webview, document.getElementById('app')!.innerHTML])).toEqual(['undefined', '']);
    expect(page_errors(page)).toEqual([]);
    await page.context().close();
  });

  it('moves nothing when the system asks for reduced motion', async () => {
    const page = await session.open({ width: 1000, height: 730, reducedMotion: true });
    await start_install_mode(page, { dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    const moving = () =>
      page.evaluate(() =>
        document
          .getAnimations()
          .filter((a) => a.playState === 'running')
          .map((a) => `${(a as CSSAnimation).animationName ?? (a as CSSTransition).transitionProperty} ${((a.effect as KeyframeEffect).target as Element).className}`),
      );
    expect(await moving()).toEqual([]);
    await page.click('.button-install');
    // The form is replaced at once, without the leaving fade, and the hero jumps to its full size.
    expect(await page.evaluate(() => [!!document.querySelector('.setup'), document.querySelector('.hero')!.getBoundingClientRect().height])).toEqual([false, 690]);
    expect(await moving()).toEqual([]);
    expect(await width(page, '.bar-fill')).toBe(500);
    await page.context().close();
  });

  it('swallows the context menu, F5 and Ctrl+R, and loads every asset it names', async () => {
    const page = await session.open({ width: 1000, height: 730 });
    await start_install_mode(page, { dir: INSTALL_DIR, gta: GTA_DIR, gtaValid: true });
    const prevented = await page.evaluate(() => {
      const fire = (e: Event) => (document.body.dispatchEvent(e), e.defaultPrevented);
      return [
        fire(new MouseEvent('contextmenu', { bubbles: true, cancelable: true })),
        fire(new KeyboardEvent('keydown', { key: 'F5', bubbles: true, cancelable: true })),
        fire(new KeyboardEvent('keydown', { key: 'r', code: 'KeyR', ctrlKey: true, bubbles: true, cancelable: true })),
        fire(new KeyboardEvent('keydown', { key: 'a', code: 'KeyA', bubbles: true, cancelable: true })),
      ];
    });
    expect(prevented).toEqual([true, true, true, false]);
    await page.keyboard.press('F5');
    await page.keyboard.press('Control+r');
    await settle(page);
    expect(await page.locator('.setup').count()).toBe(1);
    expect(session.server().missing).toEqual([]);
    await page.context().close();
  });
});
