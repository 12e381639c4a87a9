#include "support/ClipboardContract.h"
#include "support/FakeClipboardBackend.h"

#include <gtest/gtest.h>

using tarnwick::test::FakeClipboardBackend;

// The fake stands in for the real clipboard in model tests; the same contract
// runs against QtClipboardBackend on a real X server.
TEST(FakeClipboardBackend, KeepsTheClipboardContract)
{
    FakeClipboardBackend clipboard;
    tarnwick::test::checkClipboardContract(clipboard, [&] { clipboard.takeByOtherProgram(); });
}
