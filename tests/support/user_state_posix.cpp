#include "support/user_state.h"

namespace corvane::test {

FixedUserState::FixedUserState() = default;
FixedUserState::~FixedUserState() = default;
void FixedUserState::clear() const {}

std::wstring system_desktop_folder() { return {}; }
std::wstring system_programs_folder() { return {}; }
std::wstring system_program_data_folder() { return {}; }

}  // namespace corvane::test
