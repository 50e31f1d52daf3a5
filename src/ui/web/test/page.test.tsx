// @vitest-environment happy-dom
import { render } from 'preact';
import { act } from 'preact/test-utils';
import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { App } from '../src/app';
import { Hero, VIDEO_DELAY_MS, VIDEO_SRC } from '../src/hero';
import { is_reload_key } from '../src/keys';
import { enter_delay } from '../src/screen_switch';
import { SLIDES } from '../src/slides';
import { FIRST_CHANGE_MS, LEAVE_MS, NEXT_CHANGE_MS, ENTER_MS, Slogan } from '../src/slogan';
import { create_store } from '../src/store';

let root: HTMLElement;
beforeEach(() => {
  root = document.createElement('div');
  document.body.appendChild(root);
});
afterEach(() => {
  render(null, root);
  root.remove();
  vi.useRealTimers();
});

describe('start-up', () => {
  it('draws nothing while loading and sends "show" right after drawing the init screen, with no animation frame', async () => {
    const raf = vi.spyOn(window, 'requestAnimationFrame').mockImplementation(() => 0);
    const sent: string[] = [];
    const store = create_store((t) => sent.push(t));
    act(() => render(<App store={store} />, root));
    expect(root.innerHTML).toBe('');
    // Outside act(): the page's own scheduling has to get "show" out within a few milliseconds,
    // long before the hooks' fallback for a missing frame would run.
    store.dispatch({ kind: 'message', data: { type: 'init', mode: 'install', dir: 'C:\\Corvane' }, now: 1 });
    expect(sent).toEqual([]);
    await new Promise((resolve) => setTimeout(resolve, 5));
    expect(sent).toEqual(['show']);
    expect(root.querySelector('h1')?.textContent).toBe('Установка клиента');
    expect(root.querySelector<HTMLButtonElement>('.button-install')?.disabled).toBe(true);
    expect(root.querySelector('.badge')?.textContent).toBe('Игра не обнаружена');
    raf.mockRestore();
  });

  it('keeps the leaving screen on display until the entering one takes over', () => {
    vi.useFakeTimers();
    const sent: string[] = [];
    const store = create_store((t) => sent.push(t));
    act(() => render(<App store={store} />, root));
    act(() => store.dispatch({ kind: 'message', data: { type: 'init', mode: 'install', dir: 'C:\\C', gta: 'D:\\G', gtaValid: true }, now: 1 }));
    act(() => root.querySelector<HTMLButtonElement>('.button-install')!.click());
    expect(sent.at(-1)).toBe('install|C:\\C|D:\\G|1|1');
    expect(root.querySelector('.screen')?.className).toContain('screen-leave');
    expect(root.querySelector('.setup')).not.toBeNull();
    act(() => void vi.advanceTimersByTime(260));
    expect(root.querySelector('.setup')).toBeNull();
    expect(root.querySelector('.progress-title')?.textContent).toBe('Подготовка к загрузке файлов...');
  });
});

describe('hero', () => {
  function drawHero(onDrag: () => void) {
    render(
      <Hero layout="compact" tone="red" sloganTop={115} closeDisabled={false} onMinimize={() => {}} onClose={() => {}} onDrag={onDrag} />,
      root,
    );
  }
  const press = (target: Element, button: number) =>
    target.dispatchEvent(new MouseEvent('mousedown', { button, bubbles: true, cancelable: true }));

  it('asks to drag only for a primary press on the surface, not on a control', () => {
    const onDrag = vi.fn();
    act(() => drawHero(onDrag));
    press(root.querySelector('.hero')!, 0);
    press(root.querySelector('.brand-name')!, 0);
    expect(onDrag).toHaveBeenCalledTimes(2);
    press(root.querySelector('.hero')!, 2);
    press(root.querySelector('.control img')!, 0);
    press(root.querySelector('.control-close')!, 0);
    expect(onDrag).toHaveBeenCalledTimes(2);
  });

  it('gives the video its source only two frames and a pause after display: the poster shows first', () => {
    vi.useFakeTimers();
    const frames: FrameRequestCallback[] = [];
    const raf = vi.spyOn(window, 'requestAnimationFrame').mockImplementation((callback) => frames.push(callback));
    act(() => drawHero(() => {}));
    const video = () => root.querySelector('video')!;
    expect(video().getAttribute('src')).toBeNull();
    expect(video().getAttribute('poster')).toBe('images/hero.jpg');
    act(() => void vi.advanceTimersByTime(5000));
    expect(video().getAttribute('src')).toBeNull(); // no frame yet: a window that is not drawn
    act(() => frames.shift()!(0));
    act(() => frames.shift()!(16));
    act(() => void vi.advanceTimersByTime(VIDEO_DELAY_MS - 1));
    expect(video().getAttribute('src')).toBeNull();
    act(() => void vi.advanceTimersByTime(1));
    expect(video().getAttribute('src')).toBe(VIDEO_SRC);
    raf.mockRestore();
  });

  it('keeps the rings clear of the progress bar, and shows the uninstall card\'s phase in its hero', () => {
    vi.useFakeTimers();
    const store = create_store(() => {});
    act(() => render(<App store={store} />, root));
    const message = (data: unknown) => act(() => store.dispatch({ kind: 'message', data, now: 1 }));
    const field = () => root.querySelector('.ring-field')!.className;
    message({ type: 'init', mode: 'install', dir: 'C:\\C', gta: 'D:\\G', gtaValid: true });
    expect(field()).not.toContain('ring-field-clear-foot');
    expect(root.querySelector('.hero-emblem')).toBeNull();
    act(() => root.querySelector<HTMLButtonElement>('.button-install')!.click());
    expect(field()).toContain('ring-field-clear-foot');
    message({ type: 'installed' });
    expect(field()).not.toContain('ring-field-clear-foot');
    expect(root.querySelector('.hero')!.className).toContain('tone-green');

    render(null, root);
    const card = create_store(() => {});
    act(() => render(<App store={card} />, root));
    const emblem = () => root.querySelector('.hero-emblem .emblem')!.className;
    act(() => card.dispatch({ kind: 'message', data: { type: 'init', mode: 'uninstall', dir: 'C:\\C' }, now: 1 }));
    expect(emblem()).toContain('emblem-confirm');
    expect(root.querySelector('.hero-emblem img')!.getAttribute('src')).toBe('images/logo.svg');
    act(() => root.querySelector<HTMLButtonElement>('.uninstall .button')!.click());
    expect(emblem()).toContain('emblem-working');
    act(() => card.dispatch({ kind: 'message', data: { type: 'uninstalled' }, now: 2 }));
    expect(emblem()).toContain('emblem-done');
    act(() => card.dispatch({ kind: 'message', data: { type: 'error', message: 'x' }, now: 3 }));
    expect(emblem()).toContain('emblem-error');
  });
});

describe('slogan', () => {
  const title = () => root.querySelector('.slogan-line-1')?.textContent;
  const phase = () => root.querySelector('.slogan')!.className;

  it('changes slide 9 s after display, then 7 s after each change has finished', () => {
    vi.useFakeTimers();
    act(() => render(<Slogan top={115} />, root));
    expect(title()).toBe(SLIDES[0].title[0]);
    act(() => void vi.advanceTimersByTime(FIRST_CHANGE_MS - 1));
    expect(phase()).toContain('slogan-intro');
    act(() => void vi.advanceTimersByTime(1));
    expect(phase()).toContain('slogan-leave');
    expect(title()).toBe(SLIDES[0].title[0]);
    act(() => void vi.advanceTimersByTime(LEAVE_MS));
    expect(phase()).toContain('slogan-enter');
    expect(title()).toBe(SLIDES[1].title[0]);
    // The change took LEAVE_MS + ENTER_MS (about 1.5 s); the next one starts 7 s later.
    act(() => void vi.advanceTimersByTime(ENTER_MS + NEXT_CHANGE_MS - 1));
    expect(phase()).toContain('slogan-enter');
    act(() => void vi.advanceTimersByTime(1 + LEAVE_MS));
    expect(title()).toBe(SLIDES[2].title[0]);
    act(() => void vi.advanceTimersByTime(ENTER_MS + NEXT_CHANGE_MS + LEAVE_MS));
    expect(title()).toBe(SLIDES[0].title[0]);
    expect(LEAVE_MS + ENTER_MS).toBeGreaterThanOrEqual(1400);
    expect(LEAVE_MS + ENTER_MS).toBeLessThanOrEqual(1600);
  });

  it('switches at once when the system asks for reduced motion', () => {
    vi.useFakeTimers();
    const mm = vi.spyOn(window, 'matchMedia').mockImplementation(
      (q: string) => ({ matches: q.includes('reduce'), media: q }) as unknown as MediaQueryList,
    );
    act(() => render(<Slogan top={280} />, root));
    act(() => void vi.advanceTimersByTime(FIRST_CHANGE_MS));
    expect(title()).toBe(SLIDES[1].title[0]);
    expect(phase()).not.toContain('slogan-leave');
    act(() => void vi.advanceTimersByTime(NEXT_CHANGE_MS));
    expect(title()).toBe(SLIDES[2].title[0]);
    mm.mockRestore();
  });
});

describe('timing and keys', () => {
  it('lets the entering screen wait until 0.56 s into the hero change, at least 0.1 s', () => {
    expect(enter_delay(1000, 1250)).toBeCloseTo(0.31, 6);
    expect(enter_delay(1000, 1000)).toBeCloseTo(0.56, 6);
    expect(enter_delay(1000, 1500)).toBeCloseTo(0.1, 6);
    expect(enter_delay(0, 60000)).toBeCloseTo(0.1, 6);
  });

  it('swallows F5 and Ctrl+R in any layout, and nothing else', () => {
    expect(is_reload_key({ key: 'F5', ctrlKey: false })).toBe(true);
    expect(is_reload_key({ key: 'r', code: 'KeyR', ctrlKey: true })).toBe(true);
    expect(is_reload_key({ key: 'R', code: 'KeyR', ctrlKey: true })).toBe(true);
    expect(is_reload_key({ key: 'к', code: 'KeyR', ctrlKey: true })).toBe(true);
    expect(is_reload_key({ key: 'r', code: 'KeyR', ctrlKey: false })).toBe(false);
    expect(is_reload_key({ key: 'c', code: 'KeyC', ctrlKey: true })).toBe(false);
  });
});
