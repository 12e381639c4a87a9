#pragma once

#include "recording/RecordingMicrophone.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <stdexcept>

namespace tarnwick::test {

// A private PulseAudio daemon: "tarnwick_speakers" is the default sink; the
// source "tarnwick_mic" hears whatever is played into the sink "tarnwick_mic_feed".
// PULSE_SERVER points at it while it lives.
class PulseDaemon {
public:
    PulseDaemon()
    {
        const QString socket = dir_.filePath("native");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", dir_.path());
        environment.insert("HOME", dir_.path());
        daemon_.setProcessEnvironment(environment);
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start("pulseaudio",
                      {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no", "--disallow-exit",
                       "--load=module-null-sink sink_name=tarnwick_speakers",
                       "--load=module-null-sink sink_name=tarnwick_mic_feed",
                       "--load=module-remap-source source_name=tarnwick_mic master=tarnwick_mic_feed.monitor",
                       "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket, "--log-level=error"});
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        if (!QTest::qWaitFor([this] { return pactl({"set-default-sink", "tarnwick_speakers"}); }, 10000))
            throw std::runtime_error("pulseaudio did not come up");
    }
    ~PulseDaemon()
    {
        daemon_.kill();
        daemon_.waitForFinished();
        qunsetenv("PULSE_SERVER");
    }

    static bool pactl(const QStringList& arguments)
    {
        QProcess process;
        process.start("pactl", arguments);
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // Plays a sine tone into `sink` until the returned process is stopped.
    static void playTone(QProcess& player, const QString& sink, int frequency)
    {
        player.start("ffmpeg", {"-v", "error", "-re", "-f", "lavfi", "-i",
                                QString("sine=frequency=%1:sample_rate=44100").arg(frequency), "-t", "30", "-f", "pulse",
                                "-device", sink, "tone"});
        player.waitForStarted();
    }

    // A null sink renders in blocks of up to 2 s until a client asks for less: the
    // returned listener keeps it prompt; it returns once the default sink's monitor (or
    // the default source) carries sound.
    static std::unique_ptr<RecordingMicrophone> promptListener(platform::SerialQueue& queue,
                                                               RecordingAudioSource source = RecordingAudioSource::system)
    {
        auto listener = std::make_unique<RecordingMicrophone>(queue, source);
        auto heard = std::make_shared<std::atomic<bool>>(false);
        listener->onSample = [heard](const RecordingAudioBuffer& b, double) {
            *heard = *heard || std::any_of(b.data.begin(), b.data.end(), [](std::uint8_t v) { return v != 0; });
        };
        listener->start();
        if (!QTest::qWaitFor([heard] { return heard->load(); }, 10000))
            throw std::runtime_error("no sound reached the sink");
        return listener;
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
};

// Decodes the first audio track of `file` to float samples at 48 kHz: mono, or interleaved in `channels`.
inline std::vector<float> decodedAudio(const QString& file, int channels = 1)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", file, "-map", "0:a:0", "-ac", QString::number(channels), "-ar",
                            "48000", "-f", "f32le", "-"});
    ffmpeg.waitForFinished(60000);
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<float> samples(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    // A file still being written may hold no sound yet.
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

// The strongest frequency between 500 and 1500 Hz of `samples` (48 kHz), to 1 Hz.
inline int dominantFrequency(const std::vector<float>& samples)
{
    int best = 0;
    double bestPower = -1;
    for (int f = 500; f <= 1500; ++f) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            re += samples[i] * std::cos(2 * M_PI * f * static_cast<double>(i) / 48000);
            im += samples[i] * std::sin(2 * M_PI * f * static_cast<double>(i) / 48000);
        }
        if (re * re + im * im > bestPower) {
            bestPower = re * re + im * im;
            best = f;
        }
    }
    return best;
}

} // namespace tarnwick::test
