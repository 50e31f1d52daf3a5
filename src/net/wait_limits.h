#pragma once
#include <chrono>
#include <cstdint>

// How long the update engine waits for the CDN and for another run, in one place.
//
// The figures stop a stalled or trickling server (and a run that never lets go of the lock) from
// holding a run forever, yet let a slow but honest link finish: at 64 KiB/s shared by the eight
// download connections each part gets about 8 KiB/s, eight times the part floor, and the manifest
// (capped at 1 MiB, a few KiB in practice) arrives in 16 s at worst, well within its deadline.
namespace corvane {

struct WaitLimits {
  // A request whose whole body goes into memory (the manifest) ends this long after it started,
  // answered or not.
  std::chrono::milliseconds document_deadline{60000};
  // A file part that receives fewer than `part_floor_bytes` bytes in any `part_floor_window`
  // (counted from the request's start, window after window) is given up and tried again on a
  // fresh connection; 1 KiB/s over 30 s.
  std::uint64_t part_floor_bytes = 30 * 1024;
  std::chrono::milliseconds part_floor_window{30000};
  // How long a run waits for the update lock and for the client folder's lock while another run
  // holds them; a run of a large release keeps them for minutes, so a second run that must wait
  // longer says who holds them and gives up.
  std::chrono::milliseconds lock_wait{60000};
};

// The figures in force for this process.
WaitLimits wait_limits();

// Replaces the figures (tests and tools that need shorter waits). Set them before a run starts.
void set_wait_limits(const WaitLimits& limits);

}  // namespace corvane
