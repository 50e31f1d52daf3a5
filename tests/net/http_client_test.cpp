#include "net/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net_fixture.h"
#include "support/http_quirks.h"

namespace corvane {
namespace {

using test::noise;
using test_cdn::Fault;
using test_cdn::FaultKind;

// Collects a part's pieces into an image of the file and notes the largest piece.
struct FileImage {
  std::string bytes;
  std::size_t largest_piece = 0;
  std::uint64_t highest_end = 0;
  static bool sink(void* context, const DownloadPart&, std::uint64_t offset, const std::uint8_t* data,
                   std::size_t size) {
    auto* self = static_cast<FileImage*>(context);
    self->largest_piece = std::max(self->largest_piece, size);
    self->highest_end = std::max(self->highest_end, offset + size);
    if (offset + size > self->bytes.size()) return false;
    self->bytes.replace(offset, size, reinterpret_cast<const char*>(data), size);
    return true;
  }
};

class HttpClientTest : public test::CdnTest {
 protected:
  bool get(const std::string& relative, std::string& body, std::uint32_t& status,
           std::size_t cap = 1048576) {
    return http_get_to_memory(url_, relative, cap, body, &status);
  }
};

TEST_F(HttpClientTest, MemoryFetchHonoursTheCapAndReportsTheStatusOnFailure) {
  const std::string exact = noise(1048576, 1);
  publish_raw("exact.json", exact);
  publish_raw("over.json", noise(1048577, 2));
  std::string body = "stale";
  std::uint32_t status = 7;

  ASSERT_TRUE(get("exact.json", body, status));
  EXPECT_EQ(status, 200u);
  EXPECT_TRUE(body == exact);

  EXPECT_FALSE(get("over.json", body, status));
  EXPECT_EQ(status, 200u);
  EXPECT_TRUE(body.empty());

  EXPECT_FALSE(get("missing.json", body, status));
  EXPECT_EQ(status, 404u);
  EXPECT_TRUE(body.empty());

  server_.add_fault(Fault{.kind = FaultKind::kStatus, .path = server_path("exact.json"), .status = 500, .times = 1});
  EXPECT_FALSE(get("exact.json", body, status));
  EXPECT_EQ(status, 500u);

  // A body cut short by the server is not the document, even though the status was 200.
  server_.add_fault(Fault{.kind = FaultKind::kShortBody, .path = server_path("exact.json"), .bytes = 4096, .times = 1});
  EXPECT_FALSE(get("exact.json", body, status));
  EXPECT_EQ(status, 200u);
  EXPECT_TRUE(body.empty());

  // The null status pointer is allowed.
  EXPECT_TRUE(http_get_to_memory(url_, "exact.json", 1048576, body, nullptr));
}

TEST_F(HttpClientTest, RedirectsAreFollowedAndOnlyTheFinalStatusCounts) {
  publish_raw("moved/m.json", "{\"v\":1}");
  publish_raw("files/f.bin", noise(4000, 6));
  server_.add_fault(Fault{.kind = FaultKind::kRedirect, .path = server_path("m.json"),
                          .location = server_path("moved/m.json")});
  server_.add_fault(Fault{.kind = FaultKind::kRedirect, .path = server_path("gone.json"),
                          .location = server_.base_url() + "release/nowhere.json"});
  server_.add_fault(Fault{.kind = FaultKind::kRedirect, .path = server_path("loop.json"),
                          .location = server_path("loop.json")});
  std::string body;
  std::uint32_t status = 0;
  ASSERT_TRUE(get("m.json", body, status));
  EXPECT_EQ(body, "{\"v\":1}");
  EXPECT_EQ(status, 200u);
  EXPECT_FALSE(get("gone.json", body, status));
  EXPECT_EQ(status, 404u);
  EXPECT_FALSE(get("loop.json", body, status));  // too many redirects: no final response
  EXPECT_EQ(status, 0u);

  // A redirected part keeps its Range header and its fatality rules.
  server_.add_fault(Fault{.kind = FaultKind::kRedirect, .path = server_path("files/old.bin"),
                          .location = server_path("files/f.bin")});
  std::optional<WorkerConnection> connection = open_worker_connection(url_);
  ASSERT_TRUE(connection);
  DownloadPool pool;
  FileImage image;
  image.bytes.assign(4000, '\0');
  bool fatal = true;
  const DownloadPart part{"old.bin", "files/old.bin", 4000, 1000, 1000};
  EXPECT_TRUE(fetch_part(*connection, url_, part, &FileImage::sink, &image, pool, fatal));
  EXPECT_EQ(image.bytes.substr(1000, 1000), noise(4000, 6).substr(1000, 1000));
}

TEST_F(HttpClientTest, NoResponseGivesStatusZeroAndTheEnvironmentsProxyIsIgnored) {
  publish_raw("m.json", "{}");
  std::string body;
  std::uint32_t status = 99;
  {
    // A proxy that does not exist: any use of it would fail the request.
    test::ScopedEnv http_proxy("http_proxy", "http://127.0.0.1:9");
    test::ScopedEnv http_proxy_upper("HTTP_PROXY", "http://127.0.0.1:9");
    test::ScopedEnv all_proxy("ALL_PROXY", "http://127.0.0.1:9");
    test::ScopedEnv no_proxy("no_proxy", std::nullopt);
    test::ScopedEnv no_proxy_upper("NO_PROXY", std::nullopt);
    ASSERT_TRUE(get("m.json", body, status));
    EXPECT_EQ(body, "{}");
  }
  // A new connection is refused. The first request's kept-alive connection ends first: Wine's
  // WinHTTP shares connections between sessions and would otherwise reuse it.
  server_.close_connections();
  server_.add_fault(Fault{.kind = FaultKind::kRefuse});
  EXPECT_FALSE(get("m.json", body, status));
  EXPECT_EQ(status, 0u);
  server_.clear_faults();

  UrlParts closed = url_;
  server_.stop();  // nothing listens on the port any more
  EXPECT_FALSE(http_get_to_memory(closed, "m.json", 100, body, &status));
  EXPECT_EQ(status, 0u);
}

TEST_F(HttpClientTest, RequestsCarryOnlyTheAgentAndTheirRangeAndTheProbeNeeds206) {
  publish_raw("files/big.bin", noise(20971520, 3));
  EXPECT_TRUE(probe_range_support(url_, "files/big.bin"));
  const std::string head = server_.counters(server_path("files/big.bin")).last_head;
  EXPECT_NE(head.find("\r\nUser-Agent: Corvane/1.0"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nRange: bytes=0-0"), std::string::npos) << head;
  EXPECT_EQ(head.find("Accept"), std::string::npos) << head;  // neither Accept nor Accept-Encoding

  EXPECT_FALSE(probe_range_support(url_, "files/missing.bin"));
  server_.add_fault(Fault{.kind = FaultKind::kIgnoreRange, .path = server_path("files/big.bin")});
  EXPECT_FALSE(probe_range_support(url_, "files/big.bin"));
  // The probe stops at the status and drops the connection: the server cannot push the whole
  // 200 body into the socket buffers.
  EXPECT_LT(server_.counters(server_path("files/big.bin")).body_bytes, 20971520u);
}

TEST_F(HttpClientTest, FetchPartWritesItsRangeOnOneKeptAliveConnection) {
  const std::string content = noise(20971520, 4);
  publish_raw("files/big.bin", content);
  publish_raw("files/small.bin", content.substr(0, 5000));
  std::optional<WorkerConnection> connection = open_worker_connection(url_);
  ASSERT_TRUE(connection);
  DownloadPool pool;
  FileImage image;
  image.bytes.assign(content.size(), '\0');
  bool fatal = true;

  const DownloadPart middle{"big.bin", "files/big.bin", 20971520, 8388608, 8388608};
  ASSERT_TRUE(fetch_part(*connection, url_, middle, &FileImage::sink, &image, pool, fatal));
  EXPECT_FALSE(fatal);
  const std::string head = server_.counters(server_path("files/big.bin")).last_head;
  EXPECT_NE(head.find("\r\nRange: bytes=8388608-16777215"), std::string::npos) << head;
  EXPECT_TRUE(image.bytes.compare(8388608, 8388608, content, 8388608, 8388608) == 0);
  EXPECT_EQ(image.bytes.find_first_not_of('\0'), 8388608u);
  EXPECT_EQ(image.highest_end, 16777216u);
  EXPECT_LE(image.largest_piece, 262144u);
  EXPECT_EQ(pool.bytes_done.load(), 8388608u);

  const DownloadPart whole{"small.bin", "files/small.bin", 5000, 0, 0};
  FileImage small;
  small.bytes.assign(5000, '\0');
  ASSERT_TRUE(fetch_part(*connection, url_, whole, &FileImage::sink, &small, pool, fatal));
  EXPECT_TRUE(small.bytes == content.substr(0, 5000));
  EXPECT_EQ(server_.counters(server_path("files/small.bin")).ranged_requests, 0u);
  EXPECT_EQ(pool.bytes_done.load(), 8388608u + 5000u);
  EXPECT_EQ(server_.connections(), 1u);
}

TEST_F(HttpClientTest, FetchPartFailuresAndWhichOfThemAreFatal) {
  const std::string content = noise(300000, 5);
  publish_raw("files/f.bin", content);
  std::optional<WorkerConnection> connection = open_worker_connection(url_);
  ASSERT_TRUE(connection);
  const DownloadPart ranged{"f.bin", "files/f.bin", 300000, 100000, 100000};
  const DownloadPart whole{"f.bin", "files/f.bin", 300000, 0, 0};
  const std::string path = server_path("files/f.bin");

  struct Case {
    const char* what;
    Fault fault;
    const DownloadPart* part;
    bool fatal;
  };
  const Case cases[] = {
      {"ranged answered 200", Fault{.kind = FaultKind::kIgnoreRange, .path = path}, &ranged, false},
      {"404", Fault{.kind = FaultKind::kStatus, .path = path, .status = 404}, &ranged, true},
      {"403", Fault{.kind = FaultKind::kStatus, .path = path, .status = 403}, &whole, true},
      {"416", Fault{.kind = FaultKind::kStatus, .path = path, .status = 416}, &ranged, true},
      {"500", Fault{.kind = FaultKind::kStatus, .path = path, .status = 500}, &whole, false},
      {"short body", Fault{.kind = FaultKind::kShortBody, .path = path, .bytes = 50000}, &ranged, true},
      {"short whole body", Fault{.kind = FaultKind::kShortBody, .path = path, .bytes = 299999}, &whole, true},
      {"connection reset mid-body", Fault{.kind = FaultKind::kDropAfter, .path = path, .bytes = 50000}, &ranged, false},
      {"more bytes than the range", Fault{.kind = FaultKind::kLongBody, .path = path, .bytes = 70000}, &ranged, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server_.clear_faults();
    server_.add_fault(c.fault);
    DownloadPool pool;
    FileImage image;
    image.bytes.assign(content.size(), '\0');
    bool fatal = !c.fatal;
    EXPECT_FALSE(fetch_part(*connection, url_, *c.part, &FileImage::sink, &image, pool, fatal));
    // (Under Wine a reset may read as a short body, which is fatal.)
    const bool reset = c.fault.kind == FaultKind::kDropAfter;
    if (!reset || !test::reset_may_read_as_end_of_body()) {
      EXPECT_EQ(fatal, c.fatal);
    }
    // Nothing lands outside the part's own range.
    if (c.part->length != 0) {
      EXPECT_LE(image.highest_end, 200000u);
    }
  }
  // The connection is still usable afterwards.
  server_.clear_faults();
  DownloadPool pool;
  FileImage image;
  image.bytes.assign(content.size(), '\0');
  bool fatal = true;
  EXPECT_TRUE(fetch_part(*connection, url_, whole, &FileImage::sink, &image, pool, fatal));
  EXPECT_TRUE(image.bytes == content);
}

TEST(HttpSession, ARequestThatMakesNoProgressEndsAfterItsTimeOut) {
  test::TempDir root;
  test::make_dirs(root / L"r");
  test::write_text(root / L"r/x", "hello");
  test_cdn::Server server;
  ASSERT_TRUE(server.start(root.utf8()));
  server.add_fault(Fault{.kind = FaultKind::kDelayHeaders, .path = "/r/x", .delay_ms = 20000});

  os::HttpSession session;
  ASSERT_TRUE(session.open(os::HttpTimeouts{1000, 1000, 1000, 1000}, 65536));
  std::string body;
  MemoryReceiver receiver(body, 100);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(session.get(server.base_url() + "r/x", {}, receiver), os::HttpOutcome::kNoResponse);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(6));
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace corvane
