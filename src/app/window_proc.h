#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ui/ui_host.h"

// The portable window procedure: what the window thread does with each window message. The host
// (ui/ui_host.h) delivers the messages; everything here runs on the window thread.
namespace corvane {

// Handles one message. `text` is the page message of WM_UI_MESSAGE (owned from here on, freed
// in every case) and null otherwise; `wparam` is the timer id of kWindowTimer. False for a message
// that is not handled here: the host then does its default processing.
bool window_proc(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text);

// The host's answer to create_view: the view exists and is configured (true), or it could not be
// created (false), which ends the setup through show_runtime_missing.
void on_view_created(bool created);

// Tells the user that the web view runtime is missing and offers its download page; then closes
// the window.
void show_runtime_missing();

}  // namespace corvane
