// Runs File > Quick Convert on a generated form body of 200 MB (or the size
// given) and prints the peak resident memory of the process against the
// sizes of the input and the output. Run it under /usr/bin/time -v for the
// system's own figure. Usage: bench_quickconvert [SIZE_IN_MB]
#include "FixedPrompts.h"
#include "FormCorpus.h"
#include "app/CFormtidyApp.h"
#include "convert/FileCommands.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double megabytes(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

// Resident memory now, in bytes.
double residentNow()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

double residentPeak()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CFormtidyApp app(argc, argv);
    const std::size_t size = (argc > 1 ? std::stoul(argv[1]) : 200) * 1000 * 1000;

    QTemporaryDir dir;
    FixedPrompts prompts;
    prompts.openPath = dir.filePath(QStringLiteral("body.txt"));
    prompts.savePath = dir.filePath(QStringLiteral("tidy.txt"));
    {
        // Written a megabyte at a time, so that the input is never in memory here.
        QFile file(prompts.openPath);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (std::size_t written = 0, seed = 1; written < size; ++seed) {
            std::string piece =
                MakeFormCorpus(std::min<std::size_t>(1000 * 1000, size - written), unsigned(seed));
            if (written)
                piece.front() = '&';
            if (file.write(piece.data(), qint64(piece.size())) != qint64(piece.size()))
                return 1;
            written += piece.size();
        }
    }

    const double before = residentNow();
    const double peakBefore = residentPeak();
    QElapsedTimer timer;
    timer.start();
    QuickConvert();
    const double seconds = double(timer.elapsed()) / 1e3;
    const double peak = residentPeak();

    const double in = double(QFileInfo(prompts.openPath).size());
    const double out = double(QFileInfo(prompts.savePath).size());
    if (out <= 0) {
        std::fprintf(stderr, "bench_quickconvert: nothing was written\n");
        return 1;
    }
    std::printf("input                     %9.1f MiB\n", megabytes(in));
    std::printf("output                    %9.1f MiB\n", megabytes(out));
    std::printf("resident before           %9.1f MiB (peak so far %.1f MiB)\n", megabytes(before),
                megabytes(peakBefore));
    std::printf("peak resident             %9.1f MiB\n", megabytes(peak));
    std::printf("peak - before - in - out  %9.1f MiB\n", megabytes(peak - before - in - out));
    std::printf("time                      %9.2f s\n", seconds);
    return 0;
}
