import { describe, expect, it } from 'vitest';
import { duration, minutes_word, rate, size } from '../src/format';

describe('size', () => {
  it('writes gigabytes and megabytes with one decimal and a decimal comma', () => {
    expect(size(1610612736)).toBe('1,5 Gb');
    expect(size(1073741824)).toBe('1,0 Gb');
    expect(size(5 * 1073741824 + 107374182)).toBe('5,1 Gb');
    expect(size(1048576)).toBe('1,0 Mb');
    expect(size(1073741823)).toBe('1024,0 Mb');
    expect(size(3.25 * 1048576)).toBe('3,3 Mb');
  });

  it('writes smaller counts as whole kilobytes', () => {
    expect(size(0)).toBe('0 Kb');
    expect(size(511)).toBe('0 Kb');
    expect(size(512)).toBe('1 Kb');
    expect(size(1048575)).toBe('1024 Kb');
  });

  it('keeps the precision of counts beyond 4 GiB', () => {
    expect(size(12 * 1073741824 + 858993459)).toBe('12,8 Gb');
  });
});

describe('rate', () => {
  it('rounds to whole megabytes or kilobytes per second', () => {
    expect(rate(5242880)).toBe('5 MB/S');
    expect(rate(1048576)).toBe('1 MB/S');
    expect(rate(2.6 * 1048576)).toBe('3 MB/S');
    expect(rate(1048575)).toBe('1024 KB/S');
    expect(rate(300 * 1024)).toBe('300 KB/S');
    expect(rate(100)).toBe('0 KB/S');
  });
});

describe('duration', () => {
  it('says "less than a minute" below 60 s', () => {
    expect(duration(0)).toBe('меньше минуты');
    expect(duration(59.9)).toBe('меньше минуты');
  });

  it('rounds up to whole minutes with the agreeing word', () => {
    expect(duration(60)).toBe('1 минута');
    expect(duration(61)).toBe('2 минуты');
    expect(duration(21 * 60)).toBe('21 минута');
    expect(duration(12 * 60)).toBe('12 минут');
    expect(duration(3 * 60)).toBe('3 минуты');
    expect(duration(2 * 60 + 1)).toBe('3 минуты');
  });

  it('follows the Russian plural rules for every ending', () => {
    const cases: Array<[number, string]> = [
      [1, 'минута'], [2, 'минуты'], [4, 'минуты'], [5, 'минут'], [10, 'минут'],
      [11, 'минут'], [12, 'минут'], [14, 'минут'], [15, 'минут'], [20, 'минут'],
      [21, 'минута'], [22, 'минуты'], [25, 'минут'], [101, 'минута'], [111, 'минут'],
      [112, 'минут'], [114, 'минут'], [121, 'минута'], [1004, 'минуты'],
    ];
    for (const [n, word] of cases) expect(`${n} ${minutes_word(n)}`).toBe(`${n} ${word}`);
  });
});
