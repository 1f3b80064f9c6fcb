#include "ui/help.h"

#include <QFile>

#include "ui/windowutil.h"

namespace qv {

const std::vector<HelpTopic>& helpTopics() {
    static const std::vector<HelpTopic> topics = {
        {100, "TMainForm"},          {800, "TGrunddatenEingabe"},
        {770, "TZusatztextEingabe"}, {790, "TDatentraegerAuslesen"},
        {820, "TLoescheneintrag"},   {830, "Trecherche"},
        {888, "TSuchabfrage"},       {760, "TSuchabfrage.Diskart"},
        {700, "Tstd_endung"},        {730, "Tstd_katego"},
        {840, "Tstd_art"},           {750, "Tstd_verleih"},
        {740, "Tstd_stat"},          {710, "TstdDrucker"},
        {780, "TPreviewForm"},       {810, "TImport"},
        {835, "TDateinamensuche"},   {850, "TDubletten"},
        {855, "TVergleich"},         {860, "TOrdneransicht"},
        {865, "TExportieren"},       {870, "TSpeicherbelegung"},
    };
    return topics;
}

static QString resourcePath(int topic) {
    return QStringLiteral(":/shell/help/%1.html").arg(topic);
}

bool hasHelpPage(int topic) {
    initShellResources();
    return QFile::exists(resourcePath(topic));
}

QString helpPageUrl(int topic) {
    return QStringLiteral("qrc") + resourcePath(topic);
}

QString helpContentsUrl() {
    return QStringLiteral("qrc:/shell/help/index.html");
}

QString missingHelpPageHtml(int topic) {
    return QStringLiteral(
               "<html><head><title>Keine Hilfeseite</title></head><body>"
               "<h2>Keine Hilfeseite</h2>"
               "<p>Zum Hilfethema Nr. %1 gibt es keine Hilfeseite.</p>"
               "<p>Eine Übersicht über alle Hilfeseiten finden Sie im "
               "<a href=\"%2\">Inhaltsverzeichnis</a>; die Bedienung des Hauptfensters "
               "beschreibt die Seite <a href=\"%3\">Hauptfenster</a>.</p>"
               "</body></html>")
        .arg(topic)
        .arg(helpContentsUrl(), helpPageUrl(kMainWindowHelpTopic));
}

static QString& helpFileName() {
    static QString name;
    return name;
}

const QString& helpFile() {
    return helpFileName();
}
void setHelpFile(const QString& name) {
    helpFileName() = name;
}

}  // namespace qv
