// Download speed estimate and the values of the progress screen.
import { duration, rate, size } from './format';

/** The part of the page state that the progress screen works on. */
export interface ProgressFields {
  stage: string;
  done: number;
  total: number;
  measured: boolean;
  speed: number;
  sampleBytes: number;
  sampleTime: number;
}

export const SAMPLE_WINDOW_MS = 500;
export const FULL_BAR_PX = 887;

export function reset_progress(): ProgressFields {
  return { stage: 'manifest', done: 0, total: 0, measured: false, speed: 0, sampleBytes: 0, sampleTime: 0 };
}

/**
 * Records one "progress" report taken at `now` (monotonic milliseconds). The speed is re-estimated
 * only when at least SAMPLE_WINDOW_MS lie between samples, so that reports every 200 ms do not make
 * it jump; a new estimate is blended into the old one (0.7 old, 0.3 new).
 */
export function record_sample<T extends ProgressFields>(fields: T, done: number, total: number, now: number): T {
  const next = { ...fields, done, total, measured: true };
  if (fields.sampleTime === 0) return { ...next, sampleBytes: done, sampleTime: now };
  const elapsed = now - fields.sampleTime;
  if (elapsed < SAMPLE_WINDOW_MS) return next;
  const current = ((done - fields.sampleBytes) * 1000) / elapsed;
  const speed = fields.speed <= 0 ? current : fields.speed * 0.7 + current * 0.3;
  return { ...next, speed, sampleBytes: done, sampleTime: now };
}

/** Where a run stands, as the progress screen and its announcements name it. */
export type ProgressPhase = 'preparing' | 'downloading' | 'checking';

/**
 * Preparing until the first report of bytes; downloading while bytes come in; checking once they
 * are all in (the engine verifies, unpacks and replaces them) and during the final configuration.
 */
export function progress_phase(p: ProgressFields): ProgressPhase {
  if (p.stage === 'configure' || (p.measured && p.total > 0 && p.done >= p.total)) return 'checking';
  return p.measured ? 'downloading' : 'preparing';
}

/** The phase in words, for screen readers. */
export const PHASE_TEXT: Record<ProgressPhase, string> = {
  preparing: 'Подготовка к загрузке файлов',
  downloading: 'Идет загрузка файлов',
  checking: 'Файлы загружены, идет проверка и настройка клиента',
};

export interface ProgressView {
  title: string;
  indeterminate: boolean;
  percent: number;
  /** Width of the filled bar in pixels; meaningless while indeterminate (the bar animates). */
  barWidth: number;
  /** "done / total", or empty while the total is unknown. */
  amount: string;
  /** Rate and remaining time, or empty. */
  detail: string;
  /** The bar's value for assistive technology: whole percent, or undefined while indeterminate. */
  valueNow: number | undefined;
  /** The bar's value in words: percent, amount, rate and remaining time, or the phase while indeterminate. */
  valueText: string;
}

export function progress_view(p: ProgressFields): ProgressView {
  const indeterminate = !p.measured || p.stage === 'configure';
  const percent = p.total > 0 ? Math.min(100, (p.done * 100) / p.total) : 0;
  const amount = p.total > 0 ? `${size(p.done)} / ${size(p.total)}` : '';
  let detail = '';
  let spokenDetail = '';
  if (!indeterminate && p.speed > 0) {
    const remaining = Math.max(0, p.total - p.done) / p.speed;
    detail = `${rate(p.speed)} • Примерное время ожидания ${duration(remaining)}`;
    spokenDetail = `, ${rate(p.speed)}, примерное время ожидания ${duration(remaining)}`;
  }
  const valueNow = indeterminate ? undefined : Math.floor(percent);
  let valueText = PHASE_TEXT[progress_phase(p)];
  if (!indeterminate) {
    valueText = `${valueNow} %` + (p.total > 0 ? `, ${size(p.done)} из ${size(p.total)}` : '') + spokenDetail;
  }
  return {
    title: p.measured ? 'Идет загрузка файлов...' : 'Подготовка к загрузке файлов...',
    indeterminate,
    percent,
    barWidth: (FULL_BAR_PX * percent) / 100,
    amount,
    detail,
    valueNow,
    valueText,
  };
}
