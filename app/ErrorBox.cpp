// The message box that the application installs as its standard error display.
#include "app/ErrorBox.h"

#include "framework/ErrorDisplay.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString ApplicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

std::string MessageWithFullStop(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void ShowErrorBox(const std::string& message, const std::vector<std::string>& details)
{
    const std::string text = MessageWithFullStop(message);
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                    QApplication::activeWindow());
    // The message keeps its own line; what explains it reads beneath.
    QStringList lines;
    for (const std::string& line : details)
        lines << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    if (!lines.isEmpty())
        box.setInformativeText(lines.join(QLatin1Char('\n')));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

TErrorDisplayInstallation::TErrorDisplayInstallation()
    : previous_(SetErrorDisplay([](const TErrorReport& report) { ShowErrorBox(report.Message, report.Details); }))
{
}

TErrorDisplayInstallation::~TErrorDisplayInstallation()
{
    SetErrorDisplay(std::move(previous_));
}
