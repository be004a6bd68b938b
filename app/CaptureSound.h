#pragma once

class QSoundEffect;

namespace quorvel {

// The capture sound: a short clip carried in the program, played without waiting for it.
// A new start cuts a sound still playing. Without an audio device it is silent; it never
// fails. The player is made on the first use, so an idle program carries no audio stack.
class TCaptureSound {
public:
    TCaptureSound();
    ~TCaptureSound();
    TCaptureSound(const TCaptureSound&) = delete;
    TCaptureSound& operator=(const TCaptureSound&) = delete;

    void Play();

private:
    QSoundEffect* FEffect = nullptr;
};

} // namespace quorvel
