#include "platform/SwayTree.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>

namespace quorvel {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;

int Physical(double layout, double scale) {
    return static_cast<int>(std::lround(layout * scale));
}

struct TWalk {
    std::vector<TSwayWindow> Tiled;
    std::vector<TSwayWindow> Floating;
    std::vector<TSwayWindow> FullScreen;
};

// A view: a container that holds a client (Wayland or X) rather than other containers.
bool IsView(const QJsonObject& node) {
    const QString type = node.value(QLatin1String("type")).toString();
    if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
        return false;
    return node.value(QLatin1String("app_id")).isString() ||
           node.value(QLatin1String("window")).isDouble();
}

void Walk(const QJsonObject& node, double scale, bool floating, TWalk& out) {
    if (node.value(QLatin1String("type")).toString() == QLatin1String("output")) {
        // The scratchpad's pseudo output ("__i3") shows nothing.
        if (node.value(QLatin1String("name")).toString().startsWith(QLatin1String("__")))
            return;
        scale = node.value(QLatin1String("scale")).toDouble(1.0);
        if (scale <= 0)
            scale = 1.0;
    }
    if (IsView(node)) {
        // Hidden: on a workspace not shown, or behind a sibling in a tabbed or stacked
        // container.
        if (!node.value(QLatin1String("visible")).toBool(false))
            return;
        const QJsonObject rect = node.value(QLatin1String("rect")).toObject();
        const QJsonObject content = node.value(QLatin1String("window_rect")).toObject();
        const double x = rect.value(QLatin1String("x")).toDouble() +
                         content.value(QLatin1String("x")).toDouble();
        const double y = rect.value(QLatin1String("y")).toDouble() +
                         content.value(QLatin1String("y")).toDouble();
        const double w = content.value(QLatin1String("width")).toDouble();
        const double h = content.value(QLatin1String("height")).toDouble();
        TSwayWindow window;
        window.Id = static_cast<std::int64_t>(node.value(QLatin1String("id")).toDouble());
        window.Bounds = {Physical(x, scale), Physical(y, scale), Physical(x + w, scale),
                         Physical(y + h, scale)};
        window.Pid = static_cast<std::int64_t>(node.value(QLatin1String("pid")).toDouble());
        window.Focused = node.value(QLatin1String("focused")).toBool();
        if (window.Bounds.Empty())
            return;
        if (node.value(QLatin1String("fullscreen_mode")).toInt() != 0)
            out.FullScreen.push_back(window);
        else
            (floating ? out.Floating : out.Tiled).push_back(window);
    }
    for (const QJsonValue child : node.value(QLatin1String("nodes")).toArray())
        Walk(child.toObject(), scale, floating, out);
    for (const QJsonValue child : node.value(QLatin1String("floating_nodes")).toArray())
        Walk(child.toObject(), scale, true, out);
}

} // namespace

std::string SwayRequest(std::uint32_t type, const std::string& payload) {
    std::string message(kMagic, kMagicSize);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    return message + payload;
}

std::optional<TSwayHeader> SwayReplyHeader(const char* bytes) {
    if (std::memcmp(bytes, kMagic, kMagicSize) != 0)
        return std::nullopt;
    TSwayHeader header;
    std::memcpy(&header.Length, bytes + kMagicSize, 4);
    std::memcpy(&header.Type, bytes + kMagicSize + 4, 4);
    if (header.Length > kSwayReplyLimit)
        return std::nullopt;
    return header;
}

std::optional<std::vector<TSwayWindow>> SwayWindows(const std::string& treeJson) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(treeJson.data(), static_cast<qsizetype>(treeJson.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(QLatin1String("type")).toString() != QLatin1String("root"))
        return std::nullopt;
    TWalk walk;
    Walk(root, 1.0, false, walk);
    std::vector<TSwayWindow> windows = std::move(walk.Tiled);
    windows.insert(windows.end(), walk.Floating.begin(), walk.Floating.end());
    windows.insert(windows.end(), walk.FullScreen.begin(), walk.FullScreen.end());
    return windows;
}

std::optional<std::int64_t> SwayFocusedWindow(const std::vector<TSwayWindow>& windows) {
    for (const TSwayWindow& w : windows)
        if (w.Focused)
            return w.Id;
    return std::nullopt;
}

std::optional<std::int64_t> SwayWindowAt(const std::vector<TSwayWindow>& windows, TPoint point) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (it->Bounds.Contains(point))
            return it->Id;
    return std::nullopt;
}

} // namespace quorvel
