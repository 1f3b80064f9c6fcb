#include "reading/ui/datentraegerauslesen.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "ui/command.h"
#include "ui/dialogs.h"
#include "ui/helpwindow.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"
#include "volumes/core/volumeprovider.h"

namespace {

QGroupBox* radioGroup(QWidget* parent, const char* name, const QString& title, const QString& item0,
                      const QString& item1, QButtonGroup*& group) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    auto* l = new QVBoxLayout(box);
    group = new QButtonGroup(box);
    int id = 0;
    for (const QString& caption : {item0, item1}) {
        auto* b = new QRadioButton(caption, box);
        b->setObjectName(QStringLiteral("%1Item%2").arg(QLatin1String(name)).arg(id));
        group->addButton(b, id++);
        l->addWidget(b);
    }
    group->button(0)->setChecked(true);
    return box;
}

const QString kCaption = QStringLiteral("Datenträger auslesen");
const QString kChooseFolder = QStringLiteral("Ordner wählen…");
// Marks the item "Ordner wählen…".
constexpr int kFolderItemRole = Qt::UserRole + 1;

// Ends the dialog on every exit of the reading: OK when it went through.
class EndDialog {
  public:
    explicit EndDialog(QDialog* d) : m_d(d) {}
    ~EndDialog() { m_ok ? m_d->accept() : m_d->reject(); }
    void succeeded() { m_ok = true; }
    EndDialog(const EndDialog&) = delete;
    EndDialog& operator=(const EndDialog&) = delete;

  private:
    QDialog* m_d;
    bool m_ok = false;
};

}  // namespace

TDatentraegerAuslesen::TDatentraegerAuslesen(qv::CatalogueSession& session,
                                             qv::ProgressDisplay& progress, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_progress(progress),
      m_provider(std::make_unique<qv::SystemVolumes>()) {
    setObjectName(QStringLiteral("DatentraegerAuslesen"));
    setWindowTitle(QStringLiteral("Datenträger auslesen"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    Label1 = new QLabel(QStringLiteral("Laufwerk wählen:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setMinimumWidth(260);
    DriveComboBox1->setPlaceholderText(QStringLiteral("(bitte wählen)"));
    Label1->setBuddy(DriveComboBox1);
    RadioGroup1 = radioGroup(this, "RadioGroup1", QStringLiteral("&Verzeichnis"),
                             QStringLiteral("mit Unterverzeichnissen"),
                             QStringLiteral("nur Hauptverzeichnis"), m_group1);
    RadioGroup2 = radioGroup(this, "RadioGroup2", QStringLiteral("Datei-&Endungen"),
                             QStringLiteral("nur definierte Endungen"),
                             QStringLiteral("alle Endungen"), m_group2);
    Button3 = new QPushButton(QStringLiteral("definieren"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setEnabled(false);
    BitBtn1 = new QPushButton(QStringLiteral("Einlesen"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Abbruch"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn3 = new QPushButton(QStringLiteral("&Hilfe"), this);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));

    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(DriveComboBox1);
    left->addWidget(RadioGroup1);
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(RadioGroup2, 1);
    extRow->addWidget(Button3, 0, Qt::AlignBottom);
    left->addLayout(extRow);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(BitBtn1);
    right->addWidget(BitBtn2);
    right->addWidget(BitBtn3);
    right->addStretch(1);
    auto* all = new QHBoxLayout(this);
    all->addLayout(left, 1);
    all->addLayout(right);
    all->setSizeConstraint(QLayout::SetFixedSize);

    qv::connectCommand(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    qv::connectCommand(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    qv::connectCommand(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(DriveComboBox1, &QComboBox::activated, this,
            [this](int i) { qv::runGuarded([&] { volumeActivated(i); }); });
    // F1 anywhere in the dialog does what "Hilfe" does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    qv::connectCommand(help, &QShortcut::activated, this, [this] { BitBtn3Click(); });
}

TDatentraegerAuslesen::~TDatentraegerAuslesen() = default;

void TDatentraegerAuslesen::setVolumeProvider(std::unique_ptr<qv::VolumeProvider> provider) {
    m_provider = std::move(provider);
    fillVolumes();
}

void TDatentraegerAuslesen::setDefineExtensions(std::function<void()> open) {
    m_defineExtensions = std::move(open);
    Button3->setEnabled(static_cast<bool>(m_defineExtensions));
}

void TDatentraegerAuslesen::chooseVolume(const QString& mountPoint) {
    if (DriveComboBox1->findData(mountPoint) < 0) return;
    choose(mountPoint, false);
}

void TDatentraegerAuslesen::choose(const QString& root, bool folder) {
    m_userChoice = root;
    m_userFolder = folder;
    fillVolumes();
}

void TDatentraegerAuslesen::volumeActivated(int index) {
    if (DriveComboBox1->itemData(index, kFolderItemRole).toBool()) {
        chooseFolder();
        return;
    }
    // A folder chosen before stays a folder when picked again.
    const QString root = DriveComboBox1->itemData(index).toString();
    choose(root, m_userFolder && root == m_userChoice);
}

void TDatentraegerAuslesen::chooseFolder() {
    const QString start = m_chosen.isEmpty() ? QDir::homePath() : m_chosen;
    const QString folder = qv::dialogs().chooseDirectory(kChooseFolder, start);
    if (folder.isEmpty()) {
        fillVolumes();  // back to the choice as it was
        return;
    }
    // A mount point chosen as a folder is the volume.
    bool offered = false;
    for (const qv::Volume& v : m_provider ? m_provider->volumes() : QList<qv::Volume>())
        offered = offered || v.mountPoint == QDir::cleanPath(folder);
    choose(QDir::cleanPath(folder), !offered);
}

void TDatentraegerAuslesen::preferVolume(const QString& mountPoint) {
    m_userChoice = mountPoint;
    chooseVolume(mountPoint);
}

qv::ReadingOptions TDatentraegerAuslesen::options() const {
    qv::ReadingOptions o;
    o.subdirectories = radioGroup1Index() == 0;
    o.definedExtensionsOnly = radioGroup2Index() == 0;
    return o;
}

int TDatentraegerAuslesen::radioGroup1Index() const {
    return m_group1->checkedId();
}
int TDatentraegerAuslesen::radioGroup2Index() const {
    return m_group2->checkedId();
}
void TDatentraegerAuslesen::setRadioGroup1Index(int i) {
    if (QAbstractButton* b = m_group1->button(i)) b->setChecked(true);
}
void TDatentraegerAuslesen::setRadioGroup2Index(int i) {
    if (QAbstractButton* b = m_group2->button(i)) b->setChecked(true);
}

void TDatentraegerAuslesen::fillVolumes() {
    const QList<qv::Volume> volumes = m_provider ? m_provider->volumes() : QList<qv::Volume>();
    QString choice;
    if (m_userChoice.isEmpty()) {
        choice = qv::defaultVolume(volumes);
    } else if (m_userFolder) {
        if (QFileInfo(m_userChoice).isDir()) choice = m_userChoice;
    } else {
        for (const qv::Volume& v : volumes)
            if (v.mountPoint == m_userChoice) choice = m_userChoice;
    }
    DriveComboBox1->clear();
    for (const qv::Volume& v : volumes)
        DriveComboBox1->addItem(v.displayText(), v.mountPoint);
    if (m_userFolder && !choice.isEmpty() && DriveComboBox1->findData(choice) < 0)
        DriveComboBox1->addItem(choice, choice);
    DriveComboBox1->addItem(kChooseFolder);
    DriveComboBox1->setItemData(DriveComboBox1->count() - 1, true, kFolderItemRole);
    m_chosen = choice;
    DriveComboBox1->setCurrentIndex(choice.isEmpty() ? -1 : DriveComboBox1->findData(choice));
    // The file system the choice lies on as it is offered: the reading
    // compares it.
    m_chosenDevice = qv::rootDevice(m_chosen, m_source);
}

bool TDatentraegerAuslesen::confirmReading(int entry) {
    if (m_chosen.isEmpty()) {
        qv::message(QStringLiteral("Bitte ein Laufwerk oder einen Ordner wählen."), kCaption,
                    qv::MsgIcon::Information);
        DriveComboBox1->setFocus(Qt::OtherFocusReason);
        return false;
    }
    // A root that cannot be read at all is refused by the reading itself,
    // before anything is released.
    const std::uint64_t device = qv::rootDevice(m_chosen, m_source);
    if (device == 0) return true;
    if (options().definedExtensionsOnly && qv::extensionListEmpty(m_session)) {
        if (qv::message(qv::noExtensionsQuestion(), kCaption, qv::MsgIcon::Question,
                        qv::MsgButtons::YesNo) != qv::MsgAnswer::Yes)
            return false;
        setRadioGroup2Index(1);
    }
    const int held = qv::fileRecordCount(m_session, entry);
    if (held == 0) return true;
    QString question;
    if (!qv::rootHoldsFiles(m_chosen, options(), m_source))
        question = qv::emptyCarrierQuestion(held);
    else if (m_chosenDevice != 0 && device != m_chosenDevice)
        question = qv::unmountedCarrierQuestion(held);
    if (question.isEmpty()) return true;
    return qv::message(question, kCaption, qv::MsgIcon::Question, qv::MsgButtons::YesNoDefaultNo) ==
           qv::MsgAnswer::Yes;
}

void TDatentraegerAuslesen::showEvent(QShowEvent* event) {
    fillVolumes();
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
}

void TDatentraegerAuslesen::BitBtn1Click() {
    const int n = qv::strToInt(m_session.apollo(qv::CatalogueTable::Entries)
                                   .sx_EvalString(QStringLiteral("str(eindeutig,8)")));
    bool go = false;
    try {
        go = confirmReading(n);
    } catch (...) {
        reject();
        throw;
    }
    if (!go) return;
    EndDialog end(this);
    qv::ScopedDisable buttons{BitBtn1, BitBtn2};
    hide();
    m_result = {};
    m_result = qv::readCarrier(m_session, n, m_chosen, options(), m_progress, m_source);
    qv::recordVolumeAfterReading(m_session.dm().programDir(), n, m_chosen);
    end.succeeded();
}

void TDatentraegerAuslesen::Button3Click() {
    if (m_defineExtensions) m_defineExtensions();
}

void TDatentraegerAuslesen::BitBtn3Click() {
    qv::showHelp(kHelpTopic);
}
