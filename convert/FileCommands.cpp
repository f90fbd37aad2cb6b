#include "FileCommands.h"

#include "CommandDecoder.h"
#include "app/framework/ApplicationBase.h"
#include "app/framework/CommandIds.h"
#include "app/framework/MainWnd.h"
#include "app/framework/Prompts.h"
#include "files/FileReader.h"
#include "files/FileWriter.h"

#include <QFile>

namespace {
// A name from a file dialog as the system takes it, in bytes.
std::string systemName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Tells the user, before a file is overwritten in place, that no backup of it
// could be made.
void warn(const std::string& message)
{
    Prompts::current().message(QString::fromLocal8Bit(message.c_str()));
}
} // namespace

int LoadSourceFile()
{
    MainWnd& wnd = ApplicationBase::RunningMainWnd();
    const QString path = Prompts::current().openFileName();
    if (path.isEmpty())
        return 0;
    const std::string text = FileReader::readText(systemName(path));
    wnd.SetDlgItemText(IDC_SOURCE_TEXT, text);
    return 1;
}

int SaveResultFile()
{
    MainWnd& wnd = ApplicationBase::RunningMainWnd();
    const std::string text = wnd.GetDlgItemText(IDC_RESULT_TEXT);
    if (text.empty()) {
        Prompts::current().message(QStringLiteral("No data to save!"));
        return 0;
    }
    const QString path = Prompts::current().saveFileName();
    if (path.isEmpty())
        return 0;
    FileWriter::writeFile(systemName(path), text, warn);
    return 1;
}

void QuickConvert()
{
    const QString source = Prompts::current().openFileName();
    if (source.isEmpty())
        return;
    std::string text = FileReader::readText(systemName(source));
    if (text.empty()) {
        Prompts::current().message(QStringLiteral("File is empty!"));
        return;
    }
    const std::string result = CommandDecoder::decode(text);
    std::string().swap(text); // the encoded text is not needed any more
    const QString target = Prompts::current().saveFileName();
    if (target.isEmpty())
        return;
    FileWriter::writeFile(systemName(target), result, warn);
}
