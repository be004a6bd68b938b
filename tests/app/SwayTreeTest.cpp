#include "platform/SwayTree.h"
#include "TempFolder.h"
#include "platform/SwayIpc.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace quorvel;

namespace {

// A tree as sway gives it: a scratchpad output, HEADLESS-1 at scale 2 holding a tiled
// window with a title bar (outside its rect) and borders, a floating one and a tabbed
// pair of which one is hidden, and HEADLESS-2 at scale 1 to its right with a full-screen
// window on a shown workspace and one on a hidden workspace.
const char* const kTree =
    R"({"id":1,"type":"root","name":"root","rect":{"x":0,"y":0,"width":1000,"height":240},
 "nodes":[
  {"id":2147483647,"type":"output","name":"__i3","nodes":[{"id":2147483646,"type":"workspace",
    "floating_nodes":[{"id":90,"type":"floating_con","app_id":"scratch","visible":false,
     "rect":{"x":10,"y":10,"width":50,"height":50},"window_rect":{"x":0,"y":0,"width":50,"height":50}}]}]},
  {"id":3,"type":"output","name":"HEADLESS-1","scale":2.0,"rect":{"x":0,"y":0,"width":320,"height":240},
   "nodes":[{"id":4,"type":"workspace","rect":{"x":0,"y":0,"width":320,"height":240},
    "nodes":[
     {"id":6,"type":"con","app_id":"tiled","visible":true,"focused":false,"fullscreen_mode":0,
      "rect":{"x":0,"y":25,"width":160,"height":215},"window_rect":{"x":2,"y":0,"width":156,"height":213},
      "deco_rect":{"x":0,"y":0,"width":160,"height":25},"nodes":[],"floating_nodes":[]},
     {"id":7,"type":"con","layout":"tabbed","rect":{"x":160,"y":0,"width":160,"height":240},"nodes":[
       {"id":8,"type":"con","app_id":"tab-shown","visible":true,"focused":true,
        "rect":{"x":160,"y":25,"width":160,"height":215},"window_rect":{"x":0,"y":0,"width":160,"height":215}},
       {"id":9,"type":"con","app_id":"tab-hidden","visible":false,
        "rect":{"x":160,"y":25,"width":160,"height":215},"window_rect":{"x":0,"y":0,"width":160,"height":215}}]}],
    "floating_nodes":[
     {"id":5,"type":"floating_con","app_id":"float","visible":true,"focused":false,
      "rect":{"x":108,"y":80,"width":104,"height":82},"window_rect":{"x":2,"y":0,"width":100,"height":80},
      "deco_rect":{"x":108,"y":55,"width":104,"height":25},"nodes":[],"floating_nodes":[]}]}]},
  {"id":10,"type":"output","name":"HEADLESS-2","scale":1.0,"rect":{"x":320,"y":0,"width":680,"height":240},
   "nodes":[
    {"id":11,"type":"workspace","nodes":[{"id":12,"type":"con","window":4194305,"visible":true,
      "fullscreen_mode":1,"rect":{"x":320,"y":0,"width":680,"height":240},
      "window_rect":{"x":0,"y":0,"width":680,"height":240}}],
     "floating_nodes":[{"id":13,"type":"floating_con","app_id":"under-full","visible":true,
      "rect":{"x":400,"y":50,"width":100,"height":100},"window_rect":{"x":0,"y":0,"width":100,"height":100}}]},
    {"id":14,"type":"workspace","nodes":[{"id":15,"type":"con","app_id":"elsewhere","visible":false,
      "rect":{"x":320,"y":0,"width":680,"height":240},"window_rect":{"x":0,"y":0,"width":680,"height":240}}]}]}]})";

} // namespace

// Each window's content in physical pixels at its own output's scale, hidden ones left
// out, and the stacking order deciding which window a point falls on.
TEST(SwayTree, ContentInPhysicalPixelsStackedAsSwayDrawsThem) {
    const auto windows = SwayWindows(kTree);
    ASSERT_TRUE(windows.has_value());
    std::vector<std::int64_t> ids;
    for (const TSwayWindow& w : *windows)
        ids.push_back(w.Id);
    // Tiled, then floating, per workspace; the full-screen window on top of everything.
    EXPECT_EQ(ids, (std::vector<std::int64_t>{6, 8, 5, 13, 12}));
    const auto bounds = [&](std::int64_t id) {
        for (const TSwayWindow& w : *windows)
            if (w.Id == id)
                return w.Bounds;
        return TRect{};
    };
    // Content only: no title bar above, no side borders, at scale 2.
    EXPECT_EQ(bounds(6), (TRect{4, 50, 316, 476}));
    EXPECT_EQ(bounds(5), (TRect{220, 160, 420, 320}));
    EXPECT_EQ(bounds(8), (TRect{320, 50, 640, 480}));
    // Scale 1 beside it: layout units are pixels there.
    EXPECT_EQ(bounds(12), (TRect{320, 0, 1000, 240}));

    EXPECT_EQ(SwayFocusedWindow(*windows), 8);
    EXPECT_EQ(SwayWindowAt(*windows, {230, 170}), 5); // the floating window over the tiled
    EXPECT_EQ(SwayWindowAt(*windows, {100, 100}), 6);
    EXPECT_EQ(SwayWindowAt(*windows, {100, 20}), std::nullopt); // the title bar
    EXPECT_EQ(SwayWindowAt(*windows, {450, 100}), 12);          // full screen covers the floating
    EXPECT_EQ(SwayWindowAt(*windows, {639, 479}), 8);
    EXPECT_EQ(SwayWindowAt(*windows, {1000, 0}), std::nullopt);

    // A tree with nothing focused (an empty workspace has the focus), and texts that are
    // no tree at all.
    const auto empty = SwayWindows(R"({"type":"root","nodes":[]})");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(SwayFocusedWindow(*empty), std::nullopt);
    EXPECT_FALSE(SwayWindows("").has_value());
    EXPECT_FALSE(SwayWindows(R"({"type":"root","nodes":[)").has_value());
    EXPECT_FALSE(SwayWindows(R"([{"type":"root"}])").has_value());
    EXPECT_FALSE(SwayWindows(R"({"success":false})").has_value());
}

// The framing both ways, and a client that gives up on a peer that does not keep to it:
// wrong magic, another message type, a reply longer than the limit, a reply cut short.
TEST(SwayTree, IpcFramingAndARefusedReplyOfEveryBadKind) {
    const std::string request = SwayRequest(kSwayGetTree, "ab");
    ASSERT_EQ(request.size(), kSwayHeaderSize + 2);
    EXPECT_EQ(request.substr(0, 6), "i3-ipc");
    const auto header = SwayReplyHeader(request.data());
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->Length, 2u);
    EXPECT_EQ(header->Type, kSwayGetTree);
    EXPECT_EQ(request.substr(kSwayHeaderSize), "ab");
    std::string over = SwayRequest(kSwayGetTree);
    const std::uint32_t tooLong = kSwayReplyLimit + 1;
    over.replace(6, 4, reinterpret_cast<const char*>(&tooLong), 4);
    EXPECT_FALSE(SwayReplyHeader(over.data()).has_value());
    std::string magic = SwayRequest(kSwayGetTree);
    magic[0] = 'j';
    EXPECT_FALSE(SwayReplyHeader(magic.data()).has_value());

    const test::TTempFolder folder;
    const std::string path = folder.File("ipc");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    const std::string good = SwayRequest(kSwayGetTree, R"({"type":"root"})");
    std::string other = good;
    const std::uint32_t outputs = kSwayGetOutputs;
    other.replace(10, 4, reinterpret_cast<const char*>(&outputs), 4);
    std::string cut = good.substr(0, good.size() - 3);
    const std::vector<std::string> replies = {good, magic, other, over, cut, ""};
    std::thread server([&] {
        for (const std::string& reply : replies) {
            const int peer = ::accept(listener, nullptr, nullptr);
            char head[kSwayHeaderSize];
            std::size_t got = 0;
            while (got < sizeof head) {
                const ssize_t n = ::read(peer, head + got, sizeof head - got);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            if (!reply.empty() && ::write(peer, reply.data(), reply.size()) < 0)
                break;
            if (reply.empty())
                ::usleep(400000); // says nothing: the client's time runs out
            ::close(peer);
        }
    });
    EXPECT_EQ(SwayQuery(path, kSwayGetTree, 2000),
              std::optional<std::string>(R"({"type":"root"})"));
    for (std::size_t i = 1; i < replies.size(); ++i)
        EXPECT_FALSE(SwayQuery(path, kSwayGetTree, 200).has_value()) << "reply " << i;
    server.join();
    ::close(listener);
    EXPECT_FALSE(SwayQuery(folder.File("none"), kSwayGetTree, 200).has_value());
    EXPECT_FALSE(SwayQuery("", kSwayGetTree, 200).has_value());
}
