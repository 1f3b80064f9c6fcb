// Help topics. Each window carries a help topic number; the help pages are
// German HTML pages built into the program, one per topic.
#pragma once

#include <QString>
#include <vector>

namespace qv {

inline constexpr int kMainWindowHelpTopic = 100;

struct HelpTopic {
    int number;
    const char* window;  // the window (class) the page describes
};

// Every topic that has a page, in the order of the contents page.
const std::vector<HelpTopic>& helpTopics();
bool hasHelpPage(int topic);
// The page of a topic as a resource URL ("qrc:/shell/help/800.html").
QString helpPageUrl(int topic);
// The contents page listing every topic.
QString helpContentsUrl();
// The HTML shown for a topic without a page.
QString missingHelpPageHtml(int topic);

// The application's help file, set at the first activation of the main
// window (empty before).
const QString& helpFile();
void setHelpFile(const QString& name);

}  // namespace qv
