// Measures what a pane of the real main window (offscreen) takes for its text:
// the growth of the heap in use, and the peak of the address space, per byte
// of text put into the left pane by Load File and into the right one by
// Convert, for a source of one line and for sources of many lines, in Latin
// letters and in other scripts (their values are raw UTF-8, as a form mailed
// without escapes has them). Each case runs in a process of its own, so that
// one case's peak does not hide the next one's.
// Usage: bench_pane_memory [SIZE_IN_MB]     all cases, default 20 MB
//        bench_pane_memory --case SCRIPT LINE_BYTES SIZE_IN_MB   one case (used by the above)
#include "FixedPrompts.h"
#include "FormCorpus.h"
#include "app/CFormtidyApp.h"
#include "app/framework/CommandIds.h"
#include "ui/CFormtidyDlg.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

// A field of /proc/self/status, in bytes.
double statusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    double kb = 0;
    while (status >> key) {
        if (key == field) {
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

double heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

void settle(CFormtidyDlg& dlg)
{
    QCoreApplication::processEvents();
    dlg.repaint();
    QCoreApplication::processEvents();
}

struct Script
{
    const char* name;
    std::vector<const char*> words;
};

// The words of each script's form values. "latin" is the form corpus of the
// other benchmarks, with its escapes.
const std::vector<Script>& scripts()
{
    static const std::vector<Script> all = {
        {"latin", {}},
        {"arabic", {"طلب", "كوب", "أزرق", "الحجم", "التوصيل", "من", "فضلك", "العنوان", "شارع"}},
        {"hebrew", {"הזמנה", "כוס", "כחולה", "גודל", "משלוח", "בבקשה", "כתובת", "רחוב", "שם"}},
        {"cjk", {"注文", "青い", "カップ", "サイズ", "配達", "お願い", "住所", "山田", "東京"}},
        {"devanagari", {"आदेश", "नीला", "कप", "आकार", "वितरण", "कृपया", "पता", "सड़क", "नाम"}},
        {"emoji", {"😀", "👍🏽", "🎉", "👨‍👩‍👧", "🇩🇪", "❤️", "🍵", "📦", "🚚"}},
        {"combining",
         {"cafe\u0301", "a\u0308\u0323", "n\u0303o", "z\u030d\u0311\u0300", "e\u0327"}},
        // Latin and Arabic words in turn: a change of script and of direction
        // at every word.
        {"mixed", {"blue", "أزرق", "cup", "كوب", "size", "الحجم", "Jane", "شارع"}},
        // ... and at every letter.
        {"mixed-letters", {"aب", "cت", "eث", "gج", "iح", "kخ"}},
    };
    return all;
}

// Form text of `bytes` bytes in `script`, cut into lines of about `lineBytes`
// bytes (CR LF included), or one line when `lineBytes` is 0. Lines and the
// text end between characters, never inside one.
std::string makeText(const Script& script, std::size_t bytes, std::size_t lineBytes)
{
    std::string text;
    if (script.words.empty()) {
        text = MakeFormCorpus(bytes);
        if (lineBytes >= 2)
            for (std::size_t at = lineBytes - 2; at + 1 < text.size(); at += lineBytes) {
                text[at] = '\r';
                text[at + 1] = '\n';
            }
        return text;
    }
    text.reserve(bytes + 64);
    std::size_t lineStart = 0, field = 0, word = 0;
    while (text.size() < bytes) {
        text += (field ? "&field" : "field") + std::to_string(field) + "=";
        ++field;
        for (int i = 0; i < 1 + int(field % 7); ++i)
            text += std::string(i ? "+" : "") + script.words[word++ % script.words.size()];
        if (lineBytes >= 2 && text.size() - lineStart + 2 >= lineBytes) {
            text += "\r\n";
            lineStart = text.size();
        }
    }
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

int runCase(int argc, char** argv, const Script& script, std::size_t lineBytes,
            std::size_t megabytes)
{
    CFormtidyApp app(argc, argv);
    QTemporaryDir dir;
    FixedPrompts prompts;
    prompts.openPath = dir.filePath(QStringLiteral("body.txt"));
    const std::size_t bytes = megabytes * 1000 * 1000;
    {
        const std::string text = makeText(script, bytes, lineBytes);
        QFile file(prompts.openPath);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            return 1;
    }
    CFormtidyDlg dlg;
    const CFormtidyApp::MainWndScope running(&dlg);
    dlg.show();
    settle(dlg);
    const std::string shape =
        lineBytes ? std::to_string(lineBytes) + " B lines" : std::string("one line");
    for (const int step : {IDC_LOAD, IDC_CONVERT}) {
        const int pane = step == IDC_LOAD ? IDC_SOURCE_TEXT : IDC_RESULT_TEXT;
        malloc_trim(0);
        const double heapBefore = heapInUse();
        const double sizeBefore = statusBytes("VmSize:");
        dlg.OnCommand(step);
        settle(dlg);
        const double heapAfter = heapInUse();
        const double peakAfter = statusBytes("VmPeak:");
        const std::string text = dlg.GetDlgItemText(pane);
        if (text.empty())
            return 1;
        const double lines = double(std::count(text.begin(), text.end(), '\n') + 1);
        std::printf("%-14s %-14s %-8s %9.1f MB %9.0f %12.1f %12.1f\n", script.name, shape.c_str(),
                    step == IDC_LOAD ? "load" : "convert", double(text.size()) / 1e6,
                    double(text.size()) / lines, (heapAfter - heapBefore) / double(text.size()),
                    (peakAfter - sizeBefore) / double(text.size()));
    }
    dlg.close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 5 && std::string(argv[1]) == "--case")
        for (const Script& script : scripts())
            if (script.name == std::string(argv[2]))
                return runCase(argc, argv, script, std::stoul(argv[3]), std::stoul(argv[4]));
    if (argc == 5)
        return 1;

    QCoreApplication core(argc, argv);
    const std::string megabytes = argc > 1 ? argv[1] : "20";
    std::printf("Bytes of memory per byte of text in the pane: the left one after Load File,\n"
                "the right one after Convert; the growth of the heap in use, and the peak\n"
                "of the address space while the text went in\n");
    std::printf("%-14s %-14s %-8s %12s %9s %12s %12s\n", "script", "source lines", "step", "text",
                "B/line", "heap in use", "peak space");
    std::fflush(stdout);
    for (const Script& script : scripts()) {
        // Latin in every shape; the other scripts in one line and in short lines.
        const std::vector<const char*> shapes =
            script.words.empty()
                ? std::vector<const char*>{"0", "100000", "4096", "1000", "80", "20"}
                : std::vector<const char*>{"0", "80"};
        for (const char* lineBytes : shapes) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--case"), QString::fromLatin1(script.name),
                         QString::fromLatin1(lineBytes), QString::fromStdString(megabytes)});
            if (!child.waitForFinished(-1) || child.exitCode() != 0) {
                std::fprintf(stderr, "bench_pane_memory: the case of %s in %s-byte lines failed\n",
                             script.name, lineBytes);
                return 1;
            }
        }
    }
    return 0;
}
