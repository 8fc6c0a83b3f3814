// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target's code over every file of its corpus folders, without libFuzzer: the ordinary and
// the sanitizer test builds then check that no input the fuzzers ever kept crashes, leaks or trips a sanitizer.
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdio>

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
                return 1;
            }
            const QByteArray input = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
            ++replayed;
        }
    }
    // An empty corpus would make this test pass while checking nothing.
    if (replayed == 0) {
        std::fprintf(stderr, "no corpus file found\n");
        return 1;
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
