// The reading dialog: the user chooses a volume and two options and starts
// the reading for the current entry of the entry table.
//
// The volume list is asked anew from the provider at every showing, so that
// a medium inserted meanwhile appears. The last item, "Ordner wählen…",
// chooses any folder instead (read like a root: stored paths start at it).
// The user's choice is kept for the run: a volume while it is mounted, a
// folder while it exists; when it is gone nothing is chosen and "Einlesen"
// asks for a choice. Before the first choice the first removable volume is
// offered, else "/". The options stay as the user left them.
//
// After a reading the chosen volume's facts are stored for the entry
// (volumes/core/volumeprovider.h).
//
// "Einlesen" first checks what the reading would do to the entry: with the
// mode "nur definierte Endungen" and an empty extension list it offers "alle
// Endungen"; when the entry has files and the chosen root holds none, or is
// no longer the file system it was when chosen (an ejected medium leaves its
// empty mount-point folder), it asks before anything is released (default
// "Nein"). A "Nein" leaves the dialog open. Then it closes the dialog for the
// time of the reading (the progress window shows the progress) and ends it
// with OK afterwards; an error ends it with Cancel, with the buttons, the
// engine switches and the progress window restored, and goes on to the
// general error handler.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

#include "reading/core/carrierreading.h"
#include "reading/core/volumes.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qv {
class CatalogueSession;
class ProgressDisplay;
}  // namespace qv

// Object `DatentraegerAuslesen`.
class TDatentraegerAuslesen : public QDialog {
    Q_OBJECT

  public:
    inline static constexpr int kHelpTopic = 790;

    TDatentraegerAuslesen(qv::CatalogueSession& session, qv::ProgressDisplay& progress,
                          QWidget* parent = nullptr);
    ~TDatentraegerAuslesen() override;

    // Where the volumes come from (the mounted ones unless set); the list is
    // filled again at once.
    void setVolumeProvider(std::unique_ptr<qv::VolumeProvider> provider);
    // Where directory listings come from (the file system unless set; not
    // owned).
    void setDirectorySource(qv::DirectorySource* source) { m_source = source; }
    // What "definieren" opens (the extension list); the button stays
    // disabled until it is set.
    void setDefineExtensions(std::function<void()> open);

    // The chosen volume's mount point (or folder), "" when none is chosen,
    // and the options as they stand.
    QString chosenVolume() const { return m_chosen; }
    void chooseVolume(const QString& mountPoint);
    // The volume to choose at the next showing when it is offered then.
    void preferVolume(const QString& mountPoint);
    qv::ReadingOptions options() const;
    const qv::ReadingResult& lastResult() const { return m_result; }

    QLabel* Label1 = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QGroupBox* RadioGroup2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    // The groups' item index (0 or 1), as the radio groups' ItemIndex.
    int radioGroup1Index() const;
    int radioGroup2Index() const;
    void setRadioGroup1Index(int i);
    void setRadioGroup2Index(int i);

  public slots:
    // "Ordner wählen…": the directory box; a chosen folder becomes the choice.
    void chooseFolder();
    void BitBtn1Click();
    void Button3Click();
    void BitBtn3Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void fillVolumes();
    void choose(const QString& root, bool folder);
    void volumeActivated(int index);
    // The checks before a reading; false when the user stopped it.
    bool confirmReading(int entry);

    qv::CatalogueSession& m_session;
    qv::ProgressDisplay& m_progress;
    std::unique_ptr<qv::VolumeProvider> m_provider;
    qv::DirectorySource* m_source = nullptr;
    std::function<void()> m_defineExtensions;
    QButtonGroup* m_group1 = nullptr;
    QButtonGroup* m_group2 = nullptr;
    QString m_chosen;
    QString m_userChoice;              // the volume or folder the user picked last
    bool m_userFolder = false;         // whether that was a folder
    std::uint64_t m_chosenDevice = 0;  // the file system of m_chosen when it was chosen
    qv::ReadingResult m_result;
    bool m_centred = false;
};
