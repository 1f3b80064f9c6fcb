#include "pdftext.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

namespace qvtest {

namespace {

QString runTool(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << tool.toStdString()
                      << " failed: " << QString::fromUtf8(p.readAllStandardError()).toStdString();
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString unescape(QString s) {
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&quot;"), QLatin1String("\""));
    s.replace(QLatin1String("&apos;"), QLatin1String("'"));
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return s;
}

}  // namespace

std::vector<PdfWord> PdfPage::find(const QString& text) const {
    std::vector<PdfWord> out;
    for (const PdfWord& w : words)
        if (w.text == text) out.push_back(w);
    return out;
}

std::vector<PdfWord> PdfPage::lineAt(double yMin) const {
    std::vector<PdfWord> out;
    for (const PdfWord& w : words)
        if (std::abs(w.yMin - yMin) < 1.0) out.push_back(w);
    std::sort(out.begin(), out.end(),
              [](const PdfWord& a, const PdfWord& b) { return a.xMin < b.xMin; });
    return out;
}

QString PdfPage::text() const {
    QStringList parts;
    for (const PdfWord& w : words)
        parts << w.text;
    return parts.join(QLatin1Char(' '));
}

PdfText readPdf(const QString& path) {
    PdfText out;
    const QString info = runTool(QStringLiteral("pdfinfo"), {path});
    const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    if (pages.hasMatch()) out.pageCount = pages.captured(1).toInt();
    const QString html =
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    static const QRegularExpression pageRe(
        QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">(.*?)</page>"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression wordRe(
        QStringLiteral("<word xMin=\"([-\\d.]+)\" yMin=\"([-\\d.]+)\" xMax=\"([-\\d.]+)\" "
                       "yMax=\"([-\\d.]+)\">(.*?)</word>"));
    for (auto pm = pageRe.globalMatch(html); pm.hasNext();) {
        const auto m = pm.next();
        PdfPage page;
        page.width = m.captured(1).toDouble();
        page.height = m.captured(2).toDouble();
        const QString body = m.captured(3);
        for (auto wm = wordRe.globalMatch(body); wm.hasNext();) {
            const auto w = wm.next();
            page.words.push_back({unescape(w.captured(5)), w.captured(1).toDouble(),
                                  w.captured(2).toDouble(), w.captured(3).toDouble(),
                                  w.captured(4).toDouble()});
        }
        out.pages.push_back(std::move(page));
    }
    return out;
}

}  // namespace qvtest
