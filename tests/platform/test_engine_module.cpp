#include "platform/EngineModule.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <utility>

using namespace tarnwick;

namespace {

// The file of a module this test program is linked with.
QString linkedModule(const char* name)
{
    std::pair<const char*, QString> search{name, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto& [wanted, path] = *static_cast<std::pair<const char*, QString>*>(data);
            if (info->dlpi_name && std::strstr(info->dlpi_name, wanted))
                path = QFile::decodeName(info->dlpi_name);
            return 0;
        },
        &search);
    return search.second;
}

template<class Header>
Header* at(QByteArray& bytes, std::uint64_t offset)
{
    return reinterpret_cast<Header*>(bytes.data() + offset);
}

} // namespace

// dlopen maps a module's segments from its file as the program headers say; a page past the
// end of a short file kills the program at the first touch. Such a file is caught before.
TEST(EngineModule, AModuleFileIsCheckedAgainstItsProgramHeadersBeforeItIsLoaded)
{
    const QString module = linkedModule("libtarnwick_recognition.so");
    ASSERT_FALSE(module.isEmpty());
    QFile file(module);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    QTemporaryDir dir;
    int written = 0;
    const auto problemOf = [&](const QByteArray& bytes) {
        const QString path = dir.filePath(QStringLiteral("module-%1.so").arg(++written));
        QFile copy(path);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size())
            return std::string("not written");
        copy.close();
        return platform::moduleFileProblem(path).toStdString();
    };
    EXPECT_EQ(platform::moduleFileProblem(module), "");
    EXPECT_EQ(platform::moduleFileProblem(dir.filePath("missing.so")), "") << "dlopen says what is missing";

    // Where the file data of the furthest segment ends: the section headers after it are not loaded.
    QByteArray copy = whole;
    const auto* header = at<ElfW(Ehdr)>(copy, 0);
    std::uint64_t segmentsEnd = 0;
    for (int i = 0; i < header->e_phnum; ++i) {
        const auto* segment = at<ElfW(Phdr)>(copy, header->e_phoff + std::uint64_t(i) * sizeof(ElfW(Phdr)));
        segmentsEnd = std::max<std::uint64_t>(segmentsEnd, segment->p_offset + segment->p_filesz);
    }
    ASSERT_GT(segmentsEnd, 100000u);
    EXPECT_EQ(problemOf(whole.left(qsizetype(segmentsEnd))), "");
    EXPECT_EQ(problemOf(whole.left(qsizetype(segmentsEnd) - 1)), "it is shorter than its segments");
    EXPECT_EQ(problemOf(whole.left(100000)), "it is shorter than its segments");
    EXPECT_EQ(problemOf(whole.left(sizeof(ElfW(Ehdr)) + 10)), "it ends inside its program headers");
    EXPECT_EQ(problemOf(whole.left(40)), "not an ELF file");
    EXPECT_EQ(problemOf("INPUT(libfoo.so)\n"), "not an ELF file");

    // Offsets and sizes that wrap around 64 bits must not pass for small ones.
    QByteArray wrapped = whole;
    at<ElfW(Ehdr)>(wrapped, 0)->e_phoff = ~std::uint64_t(0) - 8;
    EXPECT_EQ(problemOf(wrapped), "it ends inside its program headers");
    wrapped = whole;
    for (int i = 0; i < header->e_phnum; ++i) {
        auto* segment = at<ElfW(Phdr)>(wrapped, header->e_phoff + std::uint64_t(i) * sizeof(ElfW(Phdr)));
        if (segment->p_type == PT_LOAD && segment->p_offset > 16) {
            segment->p_filesz = ~std::uint64_t(0) - segment->p_offset + 2; // the end wraps to 1
            segment->p_memsz = segment->p_filesz;
            break;
        }
    }
    EXPECT_EQ(problemOf(wrapped), "it is shorter than its segments");
    wrapped = whole;
    at<ElfW(Ehdr)>(wrapped, 0)->e_phentsize = 12;
    EXPECT_EQ(problemOf(wrapped), "its program headers are damaged");
}
