import { describe, expect, it } from 'vitest';
import { progress_phase, progress_view, record_sample, reset_progress } from '../src/progress';

const MB = 1048576;

describe('record_sample', () => {
  it('takes the first report as the sample without estimating a speed', () => {
    const p = record_sample(reset_progress(), 10 * MB, 100 * MB, 1000);
    expect(p).toMatchObject({ done: 10 * MB, total: 100 * MB, measured: true, speed: 0, sampleBytes: 10 * MB, sampleTime: 1000 });
  });

  it('updates the numbers but not the speed for a report inside the 500 ms window', () => {
    const first = record_sample(reset_progress(), 0, 100 * MB, 1000);
    const second = record_sample(first, 2 * MB, 100 * MB, 1200);
    expect(second.done).toBe(2 * MB);
    expect(second.speed).toBe(0);
    expect(second.sampleTime).toBe(1000);
    expect(second.sampleBytes).toBe(0);
    const third = record_sample(second, 3 * MB, 100 * MB, 1499);
    expect(third.speed).toBe(0);
  });

  it('measures the rate over the time since the sample and moves the sample', () => {
    const first = record_sample(reset_progress(), 0, 100 * MB, 1000);
    const mid = record_sample(first, 1 * MB, 100 * MB, 1200);
    const p = record_sample(mid, 5 * MB, 100 * MB, 2000);
    expect(p.speed).toBe(5 * MB);
    expect(p.sampleBytes).toBe(5 * MB);
    expect(p.sampleTime).toBe(2000);
  });

  it('blends later rates 0.7 old to 0.3 new', () => {
    let p = record_sample(reset_progress(), 0, 100 * MB, 1000);
    p = record_sample(p, 10 * MB, 100 * MB, 2000); // 10 MB/s
    p = record_sample(p, 12 * MB, 100 * MB, 3000); // 2 MB/s
    expect(p.speed).toBeCloseTo(10 * MB * 0.7 + 2 * MB * 0.3, 6);
  });

  it('starts afresh after a reset', () => {
    let p = record_sample(reset_progress(), 0, 100 * MB, 1000);
    p = record_sample(p, 10 * MB, 100 * MB, 2000);
    p = { ...p, ...reset_progress() };
    p = record_sample(p, 1 * MB, 50 * MB, 9000);
    expect(p.speed).toBe(0);
    p = record_sample(p, 2 * MB, 50 * MB, 10000);
    expect(p.speed).toBe(1 * MB);
  });
});

describe('progress_view', () => {
  it('prepares with an indeterminate bar until the first report', () => {
    const v = progress_view(reset_progress());
    expect(v.title).toBe('Подготовка к загрузке файлов...');
    expect(v.indeterminate).toBe(true);
    expect(v.amount).toBe('');
    expect(v.detail).toBe('');
  });

  it('shows amount, bar width, rate and remaining time while downloading', () => {
    const v = progress_view({ ...reset_progress(), stage: 'download', measured: true, done: 1610612736, total: 3221225472, speed: 5242880 });
    expect(v.title).toBe('Идет загрузка файлов...');
    expect(v.indeterminate).toBe(false);
    expect(v.percent).toBe(50);
    expect(v.barWidth).toBeCloseTo(443.5, 6);
    expect(v.amount).toBe('1,5 Gb / 3,0 Gb');
    // 1.5 GiB left at 5 MiB/s: 307.2 s -> 6 minutes.
    expect(v.detail).toBe('5 MB/S • Примерное время ожидания 6 минут');
  });

  it('hides the detail while the speed is unknown and during configuration', () => {
    const measuring = { ...reset_progress(), stage: 'download', measured: true, done: 10, total: 100 };
    expect(progress_view(measuring).detail).toBe('');
    expect(progress_view({ ...measuring, speed: -5 }).detail).toBe('');
    const configuring = progress_view({ ...measuring, stage: 'configure', speed: 5242880 });
    expect(configuring.indeterminate).toBe(true);
    expect(configuring.detail).toBe('');
    expect(configuring.amount).toBe('0 Kb / 0 Kb');
  });

  it('caps the bar at 100 % and the remaining time at zero when done exceeds total', () => {
    const v = progress_view({ ...reset_progress(), measured: true, done: 200, total: 100, speed: 1000 });
    expect(v.percent).toBe(100);
    expect(v.barWidth).toBe(887);
    expect(v.detail).toBe('1 KB/S • Примерное время ожидания меньше минуты');
  });

  it('keeps the bar empty and hides the amount while the total is zero', () => {
    const v = progress_view({ ...reset_progress(), measured: true, done: 0, total: 0, speed: 1000 });
    expect(v.percent).toBe(0);
    expect(v.amount).toBe('');
  });
});

describe('progress for assistive technology', () => {
  const downloading = { ...reset_progress(), stage: 'download', measured: true, done: 1610612736, total: 3221225472, speed: 5242880 };

  it('names the phase: preparing, downloading, then checking once every byte is in', () => {
    expect(progress_phase(reset_progress())).toBe('preparing');
    expect(progress_phase({ ...reset_progress(), stage: 'download' })).toBe('preparing');
    expect(progress_phase(downloading)).toBe('downloading');
    expect(progress_phase({ ...downloading, done: downloading.total })).toBe('checking');
    expect(progress_phase({ ...downloading, stage: 'configure' })).toBe('checking');
    // An install with nothing to download goes from preparing straight to checking.
    expect(progress_phase({ ...reset_progress(), stage: 'configure' })).toBe('checking');
    expect(progress_phase({ ...reset_progress(), measured: true, total: 0 })).toBe('downloading');
  });

  it('gives the bar a whole percent and a text with amount, rate and remaining time', () => {
    const v = progress_view({ ...downloading, done: 1610612736 - 1 });
    expect(v.valueNow).toBe(49); // never rounded up to a step not yet reached
    expect(v.valueText).toBe('49 %, 1,5 Gb из 3,0 Gb, 5 MB/S, примерное время ожидания 6 минут');
    expect(progress_view({ ...downloading, speed: 0 }).valueText).toBe('50 %, 1,5 Gb из 3,0 Gb');
    expect(progress_view({ ...downloading, total: 0, done: 0, speed: 0 }).valueText).toBe('0 %');
  });

  it('has no value while indeterminate, only the phase', () => {
    expect(progress_view(reset_progress())).toMatchObject({ valueNow: undefined, valueText: 'Подготовка к загрузке файлов' });
    expect(progress_view({ ...downloading, stage: 'configure' })).toMatchObject({
      valueNow: undefined,
      valueText: 'Файлы загружены, идет проверка и настройка клиента',
    });
  });
});
