// Drives the real main window offscreen and prints how long Load File,
// Convert, two keystrokes, a Backspace and a paste of one character take with
// a single-line form body of 100 KB, 1 MB and 10 MB in the left pane, the
// edits at the end of the line. Each step is timed until the window has
// handled every pending event and repainted. Usage: bench_panes [SIZE_IN_KB...]
#include "FixedPrompts.h"
#include "FormCorpus.h"
#include "app/CFormtidyApp.h"
#include "app/framework/CommandIds.h"
#include "ui/CFormtidyDlg.h"
#include "ui/TextPane.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

// Lets the window finish everything the step set off, painting included.
void settle(CFormtidyDlg& dlg)
{
    QCoreApplication::processEvents();
    dlg.repaint();
    QCoreApplication::processEvents();
}

// CPU time of this thread, which does all of the window's work: unlike the
// elapsed time, it does not grow when other programs share the processor.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Timing
{
    double elapsed;
    double cpu;
};

Timing timeStep(CFormtidyDlg& dlg, const std::function<void()>& step)
{
    QElapsedTimer timer;
    const double cpuStart = cpuMs();
    timer.start();
    step();
    settle(dlg);
    return {double(timer.nsecsElapsed()) / 1e6, cpuMs() - cpuStart};
}

std::string cell(const Timing& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f (%.1f)", t.elapsed, t.cpu);
    return text;
}

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

void typeKey(QWidget* target, char ch)
{
    pressKey(target, Qt::Key_X, Qt::NoModifier, QString(QLatin1Char{ch}));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CFormtidyApp app(argc, argv);

    std::vector<std::size_t> sizesKb;
    for (int i = 1; i < argc; ++i)
        sizesKb.push_back(std::stoul(argv[i]));
    if (sizesKb.empty())
        sizesKb = {100, 1000, 10000};

    QTemporaryDir dir;
    FixedPrompts prompts;
    prompts.openPath = dir.filePath(QStringLiteral("body.txt"));

    CFormtidyDlg dlg;
    const CFormtidyApp::MainWndScope running(&dlg);
    dlg.show();
    settle(dlg);
    TextPane* source = dlg.GetDlgItem<TextPane>(IDC_SOURCE_TEXT);

    std::printf("Milliseconds elapsed (CPU) until the window is idle again\n");
    std::printf("%-8s %-16s %-16s %-16s %-16s %-16s %-16s\n", "size", "load", "convert",
                "keystroke", "next keystroke", "Backspace", "paste of one");
    for (const std::size_t kb : sizesKb) {
        {
            const std::string body = MakeFormCorpus(kb * 1000);
            QFile file(prompts.openPath);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(body.data(), qint64(body.size())) != qint64(body.size())) {
                std::fprintf(stderr, "bench_panes: cannot write %s\n",
                             qPrintable(prompts.openPath));
                return 1;
            }
        }
        const Timing load = timeStep(dlg, [&] { dlg.OnCommand(IDC_LOAD); });
        const Timing convert = timeStep(dlg, [&] { dlg.OnCommand(IDC_CONVERT); });
        // Type at the end of the line, where the whole line lies before the cursor.
        source->setFocus();
        source->moveCursor(QTextCursor::End);
        settle(dlg);
        const Timing key = timeStep(dlg, [&] { typeKey(source, 'x'); });
        const Timing key2 = timeStep(dlg, [&] { typeKey(source, 'y'); });
        const Timing backspace =
            timeStep(dlg, [&] { pressKey(source, Qt::Key_Backspace, Qt::NoModifier); });
        QApplication::clipboard()->setText(QStringLiteral("z"));
        settle(dlg);
        const Timing paste =
            timeStep(dlg, [&] { pressKey(source, Qt::Key_V, Qt::ControlModifier); });
        const std::string text = dlg.GetDlgItemText(IDC_SOURCE_TEXT);
        if (text.size() != kb * 1000 + 2 || text.compare(text.size() - 2, 2, "xz") != 0) {
            std::fprintf(stderr, "bench_panes: the edits did not reach the pane\n");
            return 1;
        }
        std::printf("%-8s %-16s %-16s %-16s %-16s %-16s %-16s\n",
                    (std::to_string(kb) + " KB").c_str(), cell(load).c_str(), cell(convert).c_str(),
                    cell(key).c_str(), cell(key2).c_str(), cell(backspace).c_str(),
                    cell(paste).c_str());
        std::fflush(stdout);
    }
    dlg.close(); // as the program does before the window goes
    return 0;
}
