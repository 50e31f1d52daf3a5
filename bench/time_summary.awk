# Summary of one /usr/bin/time -v report: "<wall s> <MB/s> <CPU s> <peak RSS MiB>", with MB/s as
# `total` bytes (pass -v total=N) over the wall time in 10^6 bytes per second. CPU is user + system.
/Elapsed \(wall clock\)/ { n = split($NF, t, ":"); wall = (n == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
/Maximum resident set size/ { rss = $NF / 1024 }
/User time \(seconds\)/ { cpu += $NF }
/System time \(seconds\)/ { cpu += $NF }
END { printf "%.2f %.1f %.2f %.1f\n", wall, total / 1e6 / wall, cpu, rss }
