#pragma once
#include <string>

// The user-wide state that the setup reads and writes under fixed names: the programs-list key,
// the game's and Steam's registry keys, the Epic Games manifests folder and the two shortcuts.
namespace corvane::test {

// On Linux the tests' environment (HOME, XDG_*) moves all of it into temporary folders, and this
// object does nothing. On Windows it is the real state: the object clears it when the test starts
// and again when the test ends; outside a throwaway Wine prefix it touches nothing and gives a
// reason to skip, so that a test never changes a real user's setup or game records. Tests using
// it are WINDOWS_USER_STATE tests (CTest runs them one at a time).
class FixedUserState {
 public:
  FixedUserState();
  ~FixedUserState();
  FixedUserState(const FixedUserState&) = delete;
  FixedUserState& operator=(const FixedUserState&) = delete;

  // Why the test must not run here; empty when it may.
  const std::string& refusal() const { return refusal_; }

 private:
  void clear() const;
  std::string refusal_;
};

// The user's Desktop and Start-menu programs folders as the system's older folder call names them
// (Windows; empty on Linux, where the tests' HOME decides).
std::wstring system_desktop_folder();
std::wstring system_programs_folder();
// The machine's data folder (ProgramData) likewise.
std::wstring system_program_data_folder();

}  // namespace corvane::test
