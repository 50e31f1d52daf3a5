// Signed releases end to end: what a build that pins a root key refuses before it requests any
// file, and key rotation.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "base/paths.h"
#include "integration/update_fixture.h"
#include "os/fs.h"
#include "os/text.h"
#include "release_builder/signing.h"
#include "update/release_bounds.h"

namespace corvane::test {
namespace {

constexpr const char* kNotSigned = "[!] Obnovlenie: podpis spiska faylov ne proverena, obnovlenie otkloneno.\n";
constexpr const char* kRolledBack = "[!] Obnovlenie: spisok faylov starshe ustanovlennogo, obnovlenie otkloneno.\n";
constexpr const char* kExpired = "[!] Obnovlenie: srok deystviya spiska faylov istek, zapuskaem tekushchuyu versiyu.\n";

class UpdateTrustTest : public UpdateRunTest {
 protected:
  std::wstring channel_file(const wchar_t* name) const { return work_ / (std::wstring(L"cdn/release/") + name); }

  // Requests so far for each file of the release.
  std::map<std::string, std::uint64_t> file_requests() const {
    std::map<std::string, std::uint64_t> counts;
    for (const ManifestFile& f : files_) counts[f.path] = fetched(f.path).requests;
    return counts;
  }

  // Publishes `variant` as signing_ says, lets `spoil` change the channel, runs, and expects the
  // run to refuse with `line` having requested no file and changed nothing in the client folder.
  void expect_refused(const std::string& name, int variant, const std::function<void()>& spoil,
                      const char* line) {
    SCOPED_TRACE(name);
    publish(small_release(variant));
    if (spoil) spoil();
    const Tree before = client_tree();
    const auto requests = file_requests();
    EXPECT_EQ(run(), kFailed) << console_;
    EXPECT_EQ(result_.status, kStatusManifestCorrupt);
    EXPECT_EQ(console_, line);
    EXPECT_EQ(file_requests(), requests);
    EXPECT_EQ(client_tree(), before);
  }

  void resign(const wchar_t* file, TestKey key) {
    std::string signature;
    std::string error;
    ASSERT_TRUE(tools::sign_bytes(private_key_pem(key), read_text(channel_file(file)), signature, error)) << error;
    write_text(channel_file((std::wstring(file) + L".sig").c_str()), signature);
  }
};

TEST_F(UpdateTrustTest, RefusesWhatIsNotSignedCurrentOrFreshBeforeAnyFileRequest) {
  signing_.serial = 7;
  signing_.key_serial = 3;
  publish(small_release(1));
  ASSERT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(read_installed_serials(client_dir()).manifest, 7u);
  EXPECT_EQ(read_installed_serials(client_dir()).keys, 3u);

  const tools::Signing good = signing_;
  signing_.serial = 8;
  expect_refused("no signature", 2, [&] { (void)os::delete_file(channel_file(L"manifest.json.sig")); }, kNotSigned);
  expect_refused("one byte changed", 2, [&] {
    std::string text = read_text(channel_file(L"manifest.json"));
    text[text.find("\"1.0.0\"") + 5] = '1';
    write_text(channel_file(L"manifest.json"), text);
  }, kNotSigned);
  expect_refused("signature cut short", 2, [&] {
    write_text(channel_file(L"manifest.json.sig"), read_text(channel_file(L"manifest.json.sig")).substr(0, 63));
  }, kNotSigned);
  expect_refused("signature with a byte more", 2, [&] {
    write_text(channel_file(L"manifest.json.sig"), read_text(channel_file(L"manifest.json.sig")) + "x");
  }, kNotSigned);
  expect_refused("key list signed by a release key", 2, [&] { resign(L"keys.json", TestKey::kRelease); },
                 kNotSigned);
  expect_refused("no key list", 2, [&] { (void)os::delete_file(channel_file(L"keys.json")); }, kNotSigned);
  signing_.sign_key_pem = private_key_pem(TestKey::kReleaseNext);
  expect_refused("signed by a key not in the list", 2, nullptr, kNotSigned);

  signing_ = good;
  signing_.serial = 6;
  expect_refused("an older release", 2, nullptr, kRolledBack);
  signing_ = good;
  signing_.key_serial = 2;
  expect_refused("an older key list", 2, nullptr, kRolledBack);
  signing_ = good;
  signing_.serial = 8;
  signing_.expires = "2001-01-01T00:00:00Z";
  expect_refused("expired", 2, nullptr, kExpired);

  // The same release signed as it should be installs, and its serial is kept.
  signing_.expires = "2999-01-01T00:00:00Z";
  publish(small_release(2));
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(read_installed_serials(client_dir()).manifest, 8u);
}

TEST_F(UpdateTrustTest, RotatedKeyListInstallsTheNewKeysReleasesAndRefusesTheDroppedKeys) {
  signing_.key_serial = 1;
  publish(small_release(1));
  ASSERT_EQ(run(), kUpdated) << console_;

  // The root lists the next key in place of the old one.
  signing_.key_serial = 2;
  signing_.release_keys_pem = {public_key_pem(TestKey::kReleaseNext)};
  signing_.sign_key_pem = private_key_pem(TestKey::kReleaseNext);
  publish(small_release(2));
  EXPECT_EQ(run(), kUpdated) << console_;
  EXPECT_EQ(client_tree(), overlay(small_release(2), {{"release.serial", "manifest 0\nkeys 2\n"}}));

  const tools::Signing rotated = signing_;
  signing_.sign_key_pem = private_key_pem(TestKey::kRelease);
  expect_refused("signed by the dropped key", 3, nullptr, kNotSigned);
  // The list from before the rotation, replayed with a release that the dropped key signed.
  signing_.key_serial = 1;
  signing_.release_keys_pem = {public_key_pem(TestKey::kRelease)};
  expect_refused("the old key list replayed", 3, nullptr, kRolledBack);
  signing_ = rotated;
  publish(small_release(3));
  EXPECT_EQ(run(), kUpdated) << console_;
}

}  // namespace
}  // namespace corvane::test
