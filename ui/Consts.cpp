#include "ui/Consts.h"

#include <array>

namespace tw {

namespace {

struct Texts {
    std::array<std::string, stStdTextCount> t;
    bool english = false;
};

// German wording, the library's defaults.
const char* const kGerman[stStdTextCount] = {
    "OK", "Abbrechen", "&Ja", "&Nein", "&Hilfe", "&Schließen", "&Ignorieren", "&Wiederholen", "Abbruch",
    "&Abbrechen", "&Alle", "N&ein für alle", "Ja für &alle",
    "Warnung", "Fehler", "Information", "Bestätigen",
    "Rück", "Tab", "Esc", "Eingabe", "Leer", "Bild auf", "Bild ab", "Ende", "Pos1", "Links", "Auf", "Rechts",
    "Ab", "Einfg", "Entf", "Umsch+", "Strg+", "Alt+",
    "Ein deaktiviertes oder unsichtbares Fenster kann nicht den Fokus erhalten",
    "Ungültige Operation", "Aus einem sichtbaren Fenster kann kein modales gemacht werden",
    "Listenindex überschreitet das Maximum (%d)", "Ungültiger Eigenschaftswert",
    "Unbekannte Grafikdateierweiterung", "Ungültiges Grafikformat", "Zu wenig Ressourcen",
    "Ungültige Zeitangabe", "Öffnen", "Speichern unter",
    "&Wiederherstellen", "Ver&schieben", "&Größe ändern", "Mi&nimieren", "Ma&ximieren", "&Schließen",
};

const char* const kEnglish[stStdTextCount] = {
    "OK", "Cancel", "&Yes", "&No", "&Help", "&Close", "&Ignore", "&Retry", "Abort", "&Abort", "&All",
    "N&o to All", "Yes to &All",
    "Warning", "Error", "Information", "Confirm",
    "BkSp", "Tab", "Esc", "Enter", "Space", "PgUp", "PgDn", "End", "Home", "Left", "Up", "Right", "Down", "Ins",
    "Del", "Shift+", "Ctrl+", "Alt+",
    "Cannot focus a disabled or invisible window", "Invalid operation", "Cannot make a visible window modal",
    "List index out of bounds (%d)", "Invalid property value", "Unknown picture file extension",
    "Invalid graphic format", "Out of system resources", "Invalid time", "Open", "Save As",
    "&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "&Close",
};

Texts& T() {
    static Texts t = [] {
        Texts x;
        for (int i = 0; i < stStdTextCount; ++i) x.t[static_cast<size_t>(i)] = kGerman[i];
        return x;
    }();
    return t;
}

} // namespace

const std::string& StdText(TStdText id) { return T().t.at(static_cast<size_t>(id)); }

void UseEnglishStdTexts() {
    Texts& t = T();
    if (t.english) return;
    for (int i = 0; i < stStdTextCount; ++i) t.t[static_cast<size_t>(i)] = kEnglish[i];
    t.english = true;
}

bool StdTextsAreEnglish() { return T().english; }

void SetStdText(TStdText id, const std::string& text) { T().t.at(static_cast<size_t>(id)) = text; }

} // namespace tw
