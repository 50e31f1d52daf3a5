#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/recording_host.h"

namespace corvane::test {

// A fresh AppState whose host is a RecordingHost with a window; the state is reset again (and a
// leftover worker joined) when the test ends.
class HostFixture : public ::testing::Test {
 protected:
  HostFixture() {
    reset_app_state();
    app_state().host = &host;
    app_state().window = true;
  }
  ~HostFixture() override { reset_app_state(); }

  // The page messages queued with WM_UI_MESSAGE since the last call, in order; other queued
  // messages are dropped.
  std::vector<std::wstring> take_page_messages() {
    std::vector<std::wstring> texts;
    for (PostedMessage& m : host.take_posted()) {
      if (m.message == WM_UI_MESSAGE && m.text) texts.push_back(*m.text);
    }
    return texts;
  }

  RecordingHost host;
};

}  // namespace corvane::test
