#pragma once

#include "platform/ClipboardBackend.h"

namespace tarnwick::test {

// An in-memory clipboard for unit tests of the code above the backend.
// Another program's write is played with takeByOtherProgram(); a clipboard
// that refuses writes with failWrites.
class FakeClipboardBackend : public platform::ClipboardBackend {
public:
    bool failWrites = false;

    bool publish(const platform::ClipboardContent& content) override
    {
        ++changes_;
        content_.clear();
        owned_ = !failWrites;
        for (const platform::ClipboardFormat& format : content) {
            if (owned_ && !find(format.mimeType))
                content_ << format;
        }
        publications_ += owned_;
        return owned_;
    }

    void clear() override
    {
        if (owned_)
            takeByOtherProgram({});
    }

    std::uint64_t changeCount() const override { return changes_; }
    bool ownsClipboard() const override { return owned_; }
    QByteArray publishedData(const QString& mimeType) const override
    {
        const platform::ClipboardFormat* format = owned_ ? find(mimeType) : nullptr;
        return format ? format->data : QByteArray();
    }

    void takeByOtherProgram(const platform::ClipboardContent& content = {{QStringLiteral("text/plain"), "other"}})
    {
        ++changes_;
        content_ = content;
        owned_ = false;
    }
    // What the clipboard offers now, ours or not.
    const platform::ClipboardContent& content() const { return content_; }
    QStringList mimeTypes() const
    {
        QStringList types;
        for (const platform::ClipboardFormat& format : content_)
            types << format.mimeType;
        return types;
    }
    int publications() const { return publications_; }

private:
    const platform::ClipboardFormat* find(const QString& type) const
    {
        for (const platform::ClipboardFormat& format : content_) {
            if (format.mimeType == type)
                return &format;
        }
        return nullptr;
    }

    std::uint64_t changes_ = 0;
    int publications_ = 0;
    bool owned_ = false;
    platform::ClipboardContent content_;
};

} // namespace tarnwick::test
