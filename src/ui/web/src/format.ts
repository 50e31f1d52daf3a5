// Texts for byte counts, transfer rates and waiting times, as the progress screen shows them.

const GIB = 1073741824;
const MIB = 1048576;
const KIB = 1024;

/** One decimal with a decimal comma: 1.5 -> "1,5". */
function one_decimal(value: number): string {
  return value.toFixed(1).replace('.', ',');
}

/** A byte count: "1,5 Gb", "12,0 Mb" or "640 Kb". */
export function size(bytes: number): string {
  if (bytes >= GIB) return `${one_decimal(bytes / GIB)} Gb`;
  if (bytes >= MIB) return `${one_decimal(bytes / MIB)} Mb`;
  return `${Math.round(bytes / KIB)} Kb`;
}

/** A transfer rate in bytes per second: "5 MB/S" or "300 KB/S". */
export function rate(bytes_per_second: number): string {
  if (bytes_per_second >= MIB) return `${Math.round(bytes_per_second / MIB)} MB/S`;
  return `${Math.round(bytes_per_second / KIB)} KB/S`;
}

/** The Russian word for "minute" that agrees with the count n. */
export function minutes_word(n: number): string {
  const last_two = n % 100;
  if (last_two >= 11 && last_two <= 14) return 'минут';
  const last = n % 10;
  if (last === 1) return 'минута';
  if (last >= 2 && last <= 4) return 'минуты';
  return 'минут';
}

/** A waiting time in seconds, in whole minutes rounded up: "меньше минуты", "3 минуты". */
export function duration(seconds: number): string {
  if (seconds < 60) return 'меньше минуты';
  const n = Math.ceil(seconds / 60);
  return `${n} ${minutes_word(n)}`;
}
