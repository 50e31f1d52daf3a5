// Test harness for the built page: a static server for dist/ on 127.0.0.1 that answers as the
// setup's resource server does (whole files, as it answers requests without a Range header, and
// the same Content-Security-Policy on every answer), Debian's Chromium driven by playwright-core,
// and a fake web view bridge that records the page's commands and delivers messages to it.
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import { createServer, type Server } from 'node:http';
import type { AddressInfo } from 'node:net';
import { dirname, extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { type Browser, chromium, type Page } from 'playwright-core';
import { afterAll, beforeAll } from 'vitest';

const here = dirname(fileURLToPath(import.meta.url));
export const DIST = resolve(here, '..', 'dist');
export const SHOTS = resolve(here, '..', '..', '..', '..', 'build', 'screenshots', 'page');

const MIME: Record<string, string> = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mp4': 'video/mp4',
  '.jpg': 'image/jpeg',
  '.svg': 'image/svg+xml',
  '.woff2': 'font/woff2',
};

/**
 * The Content-Security-Policy that both native hosts put on every answer, read from the C++
 * declaration they use (src/ui/resource_server.h), so the page is tested under the very policy
 * it gets.
 */
export function content_security_policy(): string {
  const header = readFileSync(resolve(here, '..', '..', 'resource_server.h'), 'utf8');
  const declaration = /kContentSecurityPolicy\s*=\s*((?:\s*"[^"]*")+)\s*;/.exec(header);
  if (!declaration) throw new Error('no kContentSecurityPolicy in resource_server.h');
  return [...declaration[1].matchAll(/"([^"]*)"/g)].map((m) => m[1]).join('');
}

export interface StaticServer {
  origin: string;
  /** Paths that were asked for but are not in dist/. */
  missing: string[];
  close(): Promise<void>;
}

/** Serves dist/ read-only; whole files, as the native resource server answers requests without a Range header. */
export async function serve_dist(): Promise<StaticServer> {
  if (!existsSync(join(DIST, 'index.html'))) throw new Error(`no built page in ${DIST}: run npm run build first`);
  const policy = content_security_policy();
  const missing: string[] = [];
  const server: Server = createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url ?? '/', 'http://x').pathname).replace(/^\/+/, '');
    const file = normalize(join(DIST, path));
    if (!file.startsWith(DIST + '/') || !existsSync(file) || !MIME[extname(file)]) {
      missing.push(path);
      res.writeHead(404, { 'Content-Security-Policy': policy }).end();
      return;
    }
    res.writeHead(200, { 'Content-Type': MIME[extname(file)], 'Content-Security-Policy': policy }).end(readFileSync(file));
  });
  await new Promise<void>((ok) => server.listen(0, '127.0.0.1', ok));
  const { port } = server.address() as AddressInfo;
  return {
    origin: `http://127.0.0.1:${port}`,
    missing,
    close: () => new Promise<void>((ok) => server.close(() => ok())),
  };
}

export function launch_chromium(): Promise<Browser> {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update', '--no-first-run', '--disable-sync'],
  });
}

/**
 * Runs before the page's own script: a bridge shaped like the web view's. Commands land in
 * window.__sent; window.__deliver(data) raises a message event with already parsed data;
 * window.__pinNow(ms) fixes performance.now() (null lets it run again).
 */
function fake_bridge() {
  const w = window as unknown as Record<string, unknown>;
  const violations: string[] = [];
  w.__violations = violations;
  document.addEventListener('securitypolicyviolation', (e) => violations.push(`${e.effectiveDirective} ${e.blockedURI}`));
  const sent: string[] = [];
  const listeners: Array<(e: { data: unknown }) => void> = [];
  w.__sent = sent;
  w.__deliver = (data: unknown) => listeners.forEach((l) => l({ data }));
  let pinned: number | null = null;
  const realNow = performance.now.bind(performance);
  performance.now = () => pinned ?? realNow();
  w.__pinNow = (ms: number | null) => {
    pinned = ms;
  };
  const chrome = ((w.chrome as Record<string, unknown>) ?? {}) as Record<string, unknown>;
  chrome.webview = {
    postMessage: (text: unknown) => sent.push(String(text)),
    addEventListener: (type: string, listener: (e: { data: unknown }) => void) => {
      if (type === 'message') listeners.push(listener);
    },
  };
  w.chrome = chrome;
}

export interface PageOptions {
  width: number;
  height: number;
  bridge?: boolean;
  reducedMotion?: boolean;
}

export async function open_page(browser: Browser, origin: string, o: PageOptions): Promise<Page> {
  const context = await browser.newContext({
    viewport: { width: o.width, height: o.height },
    deviceScaleFactor: 1,
    reducedMotion: o.reducedMotion ? 'reduce' : 'no-preference',
  });
  const page = await context.newPage();
  const errors: string[] = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  (page as unknown as { errors: string[] }).errors = errors;
  if (o.bridge !== false) await page.addInitScript(fake_bridge);
  await page.goto(`${origin}/index.html`);
  return page;
}

/** The folders and sizes the tests' messages use. */
export const MB = 1048576;
export const INSTALL_DIR = 'C:\\Games\\Corvane';
export const GTA_DIR = 'D:\\SteamLibrary\\steamapps\\common\\Grand Theft Auto V';

/** One page server and one browser for a test file: started before its first test, closed after its last. */
export function page_session() {
  let server: StaticServer | undefined;
  let browser: Browser | undefined;
  beforeAll(async () => {
    server = await serve_dist();
    browser = await launch_chromium();
  });
  afterAll(async () => {
    await browser?.close();
    await server?.close();
  });
  const started = () => {
    if (!server || !browser) throw new Error('the page session has not started');
    return { server, browser };
  };
  return {
    open: (o: PageOptions) => open_page(started().browser, started().server.origin, o),
    server: () => started().server,
  };
}

export function page_errors(page: Page): string[] {
  return (page as unknown as { errors: string[] }).errors;
}

/** What the page's Content-Security-Policy refused so far: "directive address" each. */
export const violations = (page: Page) =>
  page.evaluate(() => [...(window as unknown as { __violations: string[] }).__violations]);

export const sent = (page: Page) => page.evaluate(() => [...(window as unknown as { __sent: string[] }).__sent]);

export async function deliver(page: Page, data: unknown): Promise<void> {
  await page.evaluate((d) => (window as unknown as { __deliver(x: unknown): void }).__deliver(d), data);
}

export async function pin_now(page: Page, ms: number | null): Promise<void> {
  await page.evaluate((t) => (window as unknown as { __pinNow(x: number | null): void }).__pinNow(t), ms);
}

/**
 * Reads several things in one round trip: for each key the innerText of the first element that
 * matches its selector, or null when there is none.
 */
export async function read<K extends string>(page: Page, selectors: Record<K, string>): Promise<Record<K, string | null>> {
  return page.evaluate((sel) => {
    const out: Record<string, string | null> = {};
    for (const [key, selector] of Object.entries(sel)) {
      const el = document.querySelector<HTMLElement>(selector as string);
      out[key] = el ? el.innerText : null;
    }
    return out;
  }, selectors as Record<string, string>) as Promise<Record<K, string | null>>;
}

/** Waits until the page has sent `text`. */
export async function wait_sent(page: Page, text: string): Promise<void> {
  await page.waitForFunction((t) => (window as unknown as { __sent: string[] }).__sent.includes(t), text, { timeout: 5000 });
}

/** Waits until every finite animation and transition has finished and the fonts are in. */
export async function settle(page: Page): Promise<void> {
  await page.evaluate(() => document.fonts.ready.then(() => undefined));
  await page.waitForFunction(
    () =>
      document.getAnimations().every((a) => a.playState !== 'running' || a.effect?.getComputedTiming().iterations === Infinity),
    null,
    { timeout: 8000, polling: 50 },
  );
}

/** Saves a picture of the whole window, with the pointer parked where it hovers nothing. */
export async function screenshot(page: Page, name: string): Promise<void> {
  mkdirSync(SHOTS, { recursive: true });
  await page.mouse.move(1, 1);
  await settle(page);
  await page.screenshot({ path: join(SHOTS, `${name}.png`) });
}
