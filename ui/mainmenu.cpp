#include "ui/mainmenu.h"

namespace qv {

namespace {
constexpr QKeyCombination key(Qt::Key k) {
    return QKeyCombination(k);
}
constexpr QKeyCombination shift(Qt::Key k) {
    return QKeyCombination(Qt::ShiftModifier, k);
}
constexpr QKeyCombination ctrl(Qt::Key k) {
    return QKeyCombination(Qt::ControlModifier, k);
}
constexpr bool kOn = true;
constexpr bool kOff = false;
constexpr bool kSep = true;
constexpr bool kNoSep = false;
}  // namespace

const std::vector<MenuDesc>& mainMenuLayout() {
    static const std::vector<MenuDesc> menus = {
        {"Datei1",
         "&Datei",
         {
             {"Reorganistation1", "&Reorganistation", {}, kOn, kSep},
             {"ImportQVLindovar1", "&Import QV-Lindovar", {}, kOff, kSep},
             {"Beenden1", "&Beenden", {}, kOn, kNoSep},
         }},
        {"Suche1",
         "&Suche",
         {
             {"menusuche1", "&Suchabfrage starten", key(Qt::Key_F2), kOff, kSep},
             {"menusuche2", "&Alle Daten anzeigen", shift(Qt::Key_F2), kOff, kNoSep},
         }},
        {"Bearbeiten1",
         "&Bearbeiten",
         {
             {"Neuanlageleer1", "&Neuanlage leer", key(Qt::Key_Insert), kOff, kNoSep},
             {"NeuanlageKopie1", "Neuanlage &Kopie", shift(Qt::Key_Insert), kOff, kSep},
             {"Eintragaendern1", "&Eintrag ändern", key(Qt::Key_Return), kOff, kNoSep},
             {"Zusatztexteingeben1", "&Zusatztext eingeben", ctrl(Qt::Key_Return), kOff, kSep},
             {"Loeschen1", "&Löschen", key(Qt::Key_Delete), kOff, kNoSep},
         }},
        {"Datentraeger1",
         "Datenträ&ger",
         {
             {"Datentraegereinlesen1", "&Datenträger einlesen", key(Qt::Key_F11), kOff, kNoSep},
             {"Dateizuordnungloeschen1", "Dateizuordnung &löschen", ctrl(Qt::Key_F11), kOff, kSep},
             {"RechercheinallenDateien1", "&Recherche in allen Dateien", key(Qt::Key_F12), kOff,
              kNoSep},
         }},
        {"Statistik1",
         "S&tatistik",
         {
             {"DatentraegerAnzahl1", "&Datenträger-Anzahl", {}, kOff, kSep},
             {"EintraegejeKategorie1", "Einträge je &Kategorie", {}, kOff, kNoSep},
             {"EintraegejeStatus1", "Einträge je &Status", {}, kOff, kNoSep},
         }},
        {"Ausgabe1",
         "&Ausgabe",
         {
             {"VorschauEtikettendruck1", "Vorschau - &Etikettendruck", {}, kOff, kSep},
             {"VorschauListendruck1", "Vorschau - &Listendruck", {}, kOff, kNoSep},
         }},
        {"Parameter1",
         "&Parameter",
         {
             {"EinleseEndungen1", "&Einlese-Endungen", key(Qt::Key_F10), kOff, kNoSep},
             {"Kategorien1", "&Kategorien", key(Qt::Key_F7), kOff, kSep},
             {"ProgrammStatus1", "Programm-&Status", shift(Qt::Key_F10), kOff, kNoSep},
             {"DatentraegerArten1", "&Datenträger-Arten", shift(Qt::Key_F7), kOff, kSep},
             {"AdressenVerleih1", "&Adressen (Verleih)", {}, kOff, kSep},
             {"DruckerVorgaben1", "Drucker - &Vorgaben", {}, kOff, kNoSep},
         }},
        {"Fragezeichen1",
         "?",
         {
             {"Hilfe1", "&Hilfe", key(Qt::Key_F1), kOn, kSep},
             {"ueberQVTESSARIN1", "&über QV-TESSARIN", {}, kOn, kNoSep},
         }},
    };
    return menus;
}

const std::vector<MenuItemDesc>& popupMenuLayout() {
    static const std::vector<MenuItemDesc> items = {
        {"Neuanlageleer2", "&Neuanlage leer", key(Qt::Key_Insert), kOff, kNoSep},
        {"NeuanlageKopie2", "Neuanlage &Kopie", shift(Qt::Key_Insert), kOff, kNoSep},
        {"Eintragaendern2", "&Eintrag ändern", key(Qt::Key_Return), kOff, kNoSep},
        {"Zusatztexteingeben2", "&Zusatztext eingeben", ctrl(Qt::Key_Return), kOff, kNoSep},
        {"Loeschen2", "&Löschen", key(Qt::Key_Delete), kOff, kSep},
        {"Datentraegereinlesen2", "&Datenträger einlesen", key(Qt::Key_F11), kOff, kNoSep},
        {"Dateizuordnungloeschen2", "Dateizuordnung &löschen", ctrl(Qt::Key_F11), kOff, kNoSep},
        {"RechercheinallenDateien2", "&Recherche in allen Dateien", key(Qt::Key_F12), kOff, kSep},
        {"ueberQVTESSARIN2", "&über QV-TESSARIN", {}, kOn, kNoSep},
    };
    return items;
}

const std::vector<ToolButtonDesc>& toolBarLayout() {
    // objectName, hint, icon, small, toggle, enabled, groupEnd
    static const std::vector<ToolButtonDesc> buttons = {
        {"speedbuttonAbfrage", "Such-Abfrage starten, Teilmenge anzeigen", "abfrage", false, true,
         false, true},
        {"SpeedButton1", "Neuen Eintrag", "neu", false, false, false, false},
        {"SpeedButton2", "Eintrag duplizieren", "duplizieren", false, false, false, false},
        {"SpeedButton3", "Eintrag bearbeiten", "bearbeiten", false, false, false, false},
        {"SpeedButton4", "Eintrag löschen", "loeschen", false, false, false, true},
        {"SpeedButton5", "Datenträger einlesen", "einlesen", false, false, false, false},
        {"SpeedButton6", "Recherche in ALLEN Dateien", "recherche", false, false, false, true},
        {"spbtetikett", "Vorschau: Etiketten-Druck", "etikett", false, false, false, false},
        {"spbliste", "Vorschau: Listendruck", "liste", false, false, false, true},
        {"spdbtnStat_anzahl", "Statistik: Anzahl Datenträger", "stat-anzahl", false, false, false,
         false},
        {"spdbtn_statistik_kategorie", "Statistik: Anzahl Einträge je Kategorie", "stat-kategorie",
         false, false, false, false},
        {"spdbtn_statistik_Status", "Statistik: Anzahl Einträge je Status", "stat-status", false,
         false, false, true},
        {"SpeedButton8", "Stammdaten: Adressen (Verleih)", "adressen", true, false, false, false},
        {"SpeedButton9", "Stammdaten: Einlese-Endungen", "endungen", true, false, false, false},
        {"SpeedButton10", "Stammdaten: Kategorien", "kategorien", true, false, false, false},
        {"SpeedButton11", "Stammdaten: Datenträger-Arten", "arten", true, false, false, false},
        {"SpeedButton18", "Stammdaten: Programm-Status", "programmstatus", true, false, false,
         false},
        {"spdbtn_druck_einstell", "Einstellungen: Ausdruck, Etiketten", "druckeinstellung", true,
         false, false, false},
        {"SpeedButton7", "QV-Lindovar beenden", "beenden", false, false, true, false},
    };
    return buttons;
}

const std::vector<CommandPlaces>& commandPlaces() {
    using C = MainCommand;
    static const std::vector<CommandPlaces> places = {
        {C::Reorganise, "Reorganistation1", nullptr, nullptr},
        {C::Import, "ImportQVLindovar1", nullptr, nullptr},
        {C::Exit, "Beenden1", nullptr, "SpeedButton7"},
        {C::QueryStart, "menusuche1", nullptr, "speedbuttonAbfrage"},
        {C::QueryReset, "menusuche2", nullptr, nullptr},
        {C::NewEntry, "Neuanlageleer1", "Neuanlageleer2", "SpeedButton1"},
        {C::CopyEntry, "NeuanlageKopie1", "NeuanlageKopie2", "SpeedButton2"},
        {C::EditEntry, "Eintragaendern1", "Eintragaendern2", "SpeedButton3"},
        {C::AdditionalText, "Zusatztexteingeben1", "Zusatztexteingeben2", nullptr},
        {C::DeleteEntry, "Loeschen1", "Loeschen2", "SpeedButton4"},
        {C::ReadCarrier, "Datentraegereinlesen1", "Datentraegereinlesen2", "SpeedButton5"},
        {C::RemoveFileAssignment, "Dateizuordnungloeschen1", "Dateizuordnungloeschen2", nullptr},
        {C::SearchAllFiles, "RechercheinallenDateien1", "RechercheinallenDateien2", "SpeedButton6"},
        {C::CarrierCount, "DatentraegerAnzahl1", nullptr, "spdbtnStat_anzahl"},
        {C::EntriesPerCategory, "EintraegejeKategorie1", nullptr, "spdbtn_statistik_kategorie"},
        {C::EntriesPerStatus, "EintraegejeStatus1", nullptr, "spdbtn_statistik_Status"},
        {C::LabelPreview, "VorschauEtikettendruck1", nullptr, "spbtetikett"},
        {C::ListPreview, "VorschauListendruck1", nullptr, "spbliste"},
        {C::Extensions, "EinleseEndungen1", nullptr, "SpeedButton9"},
        {C::Categories, "Kategorien1", nullptr, "SpeedButton10"},
        {C::StatusNames, "ProgrammStatus1", nullptr, "SpeedButton18"},
        {C::CarrierTypes, "DatentraegerArten1", nullptr, "SpeedButton11"},
        {C::Addresses, "AdressenVerleih1", nullptr, "SpeedButton8"},
        {C::PrintSettings, "DruckerVorgaben1", nullptr, "spdbtn_druck_einstell"},
        {C::Help, "Hilfe1", nullptr, nullptr},
        {C::AssignAddress, nullptr, nullptr, "panelverleihbtn1"},
        {C::RemoveAddressAssignment, nullptr, nullptr, "BitBtn1"},
        {C::About, "ueberQVTESSARIN1", "ueberQVTESSARIN2", nullptr},
    };
    return places;
}

}  // namespace qv
