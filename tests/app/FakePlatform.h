#pragma once

#include "platform/Platform.h"

namespace quorvel::test {

// A desktop in memory: one 640x480 monitor of a flat colour, no windows, and hotkeys that
// record what they were asked to take.
class TFakePlatform final : public TPlatform {
public:
    struct THotKeyRecord {
        std::uint8_t vk = 0;
        unsigned modifiers = 0;
        bool registered = false;
    };

    TCapabilities Capabilities() override { return Allowed; }
    std::vector<TRect> Monitors() override { return {ScreenRect()}; }
    TRect ScreenRect() override { return {0, 0, 640, 480}; }
    TPoint PointerPosition() override { return {10, 10}; }
    TWindowId ActiveWindow() override { return 0; }
    TWindowId WindowAt(TPoint) override { return 0; }
    std::optional<TRect> WindowBounds(TWindowId) override { return std::nullopt; }
    QImage GrabScreen(const TRect& rect) override {
        QImage image(rect.Width(), rect.Height(), QImage::Format_RGB32);
        image.fill(0xFF336699u);
        return image;
    }
    std::optional<TCursorImage> Cursor() override { return std::nullopt; }
    void Prepare() override {}
    void ReleaseBuffers() override {}
    void PlaceWindow(TWindowId, const TRect& bounds) override { Placed = bounds; }
    void ShapeWindow(TWindowId, const std::vector<TRect>& parts) override { Shape = parts; }
    void KeepAboveUnlisted(TWindowId) override {}
    bool StartWindowMove(TWindowId, TPoint) override { return false; }
    bool DrawPicture(TWindowId, const QImage&, const TRect&) override { return false; }
    std::unique_ptr<THotKey> CreateHotKey(std::function<void()> onPress) override;

    THotKeyRecord HotKey;
    TRect Placed;
    std::vector<TRect> Shape;
    bool RefuseHotKeys = false;
    TCapabilities Allowed = Everything();
    static TCapabilities Everything() {
        TCapabilities can{true, true, true, true, true};
        can.RecordScreen = true;
        can.FindPointer = true;
        return can;
    }
    std::function<void()> PressHotKey;
};

} // namespace quorvel::test
