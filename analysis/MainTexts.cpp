#include "analysis/MainTexts.h"

#include "base/SysUtils.h"

namespace tw {

namespace {

const char* const kCR = "\r";

std::vector<TControlText> BuildControlTexts() {
    std::vector<TControlText> t = {
        {"File1", ctCaption, "Datei", "File"},
        {"Open2", ctCaption, "Öffnen", "Open"},
        {"Close1", ctCaption, "Schließen", "Close"},
        {"Settings1", ctCaption, "Einstellungen", "Settings"},
        {"Preferences1", ctCaption, "Optionen", "Preferences"},
        {"Priority1", ctCaption, "Priorität", "Priority"},
        {"Help1", ctCaption, "Hilfe", "Help"},
        {"Changes1", ctCaption, "Änderungen", "Changes Log"},
        {"Hilfe1", ctCaption, "Handbuch", "Manual"},
        {"About", ctCaption, "Über", "About"},
        {"sGroupBox7", ctCaption, "Vorbereitungsschritte", "Preparation steps"},
        {"sGroupBox8", ctCaption, "Erkannte Streams", "Identified Streams"},
        {"sBitBtn1", ctCaption, "STARTEN", "START"},
        {"sBitBtn2", ctCaption, "Erhalten", "Preserve"},
        {"sBitBtn3", ctCaption, "Patchen", "Patch"},
        {"sBitBtn4", ctCaption, "Schneiden", "Cut"},
        {"sLabel24", ctCaption, "Anfang", "Begin"},
        {"sLabel25", ctCaption, "Dauer", "Duration"},
        {"sLabel26", ctCaption, "Ende", "End"},
        {"sBitBtn2", ctHint, "Ausgewählte Streams erhalten", "Preserve selected streams"},
        {"sBitBtn4", ctHint, "Anfang und Ende des Streams beschneiden", "Cutting the beginning and the end of the stream"},
        {"sLabel22", ctHint, "Schnittpunkt für den Anfang des Streams", "Cutting point for the begin of the stream"},
        {"sLabel23", ctHint, "Schnittpunkt für das Ende des Streams", "Cutting point for the end of the stream"},
        {"Image5", ctHint, "Audiostream 1\rRechte Maustaste für Spezialmenü", "Audio stream 1\rPress right mouse button for special menu"},
        {"Image2", ctHint, "Audiostream 2\rRechte Maustaste für Spezialmenü", "Audio stream 2\rPress right mouse button for special menu"},
        {"Image3", ctHint, "Audiostream 3\rRechte Maustaste für Spezialmenü", "Audio stream 3\rPress right mouse button for special menu"},
        {"Image4", ctHint, "Audiostream 4\rRechte Maustaste für Spezialmenü", "Audio stream 4\rPress right mouse button for special menu"},
        {"sLabelFX13", ctCaption, "Erste Hilfe für DVB-Aufzeichnungen", "First aid for DVB recordings"},
        {"sLabelFX12", ctCaption, "Überprüfen\rZusammenfügen\rBearbeiten\rReparieren", "Checking\rMerging\rEditing\rFixing"},
        {"sLabelFX15", ctCaption, "von SDTV- und HDTV-Receivern", "from SDTV and HDTV receivers"},
    };
    for (const char* c : {"sLabel27", "sLabel30", "sLabel31", "sLabel33", "sLabel35"}) t.push_back({c, ctCaption, "Größe", "Size"});
    for (const char* c : {"sLabel45", "sLabel37", "sLabel39", "sLabel41", "sLabel43"}) t.push_back({c, ctCaption, "Fehler", "Errors"});

    static const char* const kFilterGer =
        "Alle unterstützten Streamformate|*.ts;*.trp;*.m2ts;*.ts4;*.dvr;*.rec"
        "|Transport Stream(*.ts)|*.ts|Kathrein Transport Stream(*.trp)|*.trp|Sony Transport Stream(*.m2ts)|*.m2ts"
        "|Technisat Transport Stream(*.ts4)|*.ts4|Comaq Transport Stream(*.dvr)|*.dvr|Topfield Transport Stream(*.rec)|*.rec"
        "|All files(*.*)|*.*";
    static const char* const kFilterEng =
        "All supported stream formats|*.ts;*.trp;*.m2ts;*.ts4;*.dvr;*.rec"
        "|Transport Stream(*.ts)|*.ts|Kathrein Transport Stream(*.trp)|*.trp|Sony Transport Stream(*.m2ts)|*.m2ts"
        "|Technisat Transport Stream(*.ts4)|*.ts4|Comaq Transport Stream(*.dvr)|*.dvr|Topfield Transport Stream(*.rec)|*.rec"
        "|All files(*.*)|*.*";
    t.push_back({"OpenDialog1", ctFilter, kFilterGer, kFilterEng});
    t.push_back({"OpenDialog2", ctFilter, kFilterGer, kFilterEng});

    for (const char* c : {"Ch1", "MenuItem1", "MenuItem2", "MenuItem3", "MenuItem4", "MenuItem5", "MenuItem6", "MenuItem7"})
        t.push_back({c, ctCaption, "Ändere Language_Descriptor", "Change Language_Descriptor"});

    struct StepHint {
        const char* panel;
        const char* label;
        const char* fx;
        const char* german;
        const char* english;
    };
    static const StepHint kSteps[] = {
        {"sPanel12", "GarbageScanLabel", "sLabelFX11",
         "Dieser Schritt sucht nach unbrauchbaren Paketen am Anfang und Ende des Streams, die gelöscht werden müssen, wie zum "
         "Beispiel bei der Kathrein UFS910",
         "This step searches for invalid packets at the beginning and the end for the stream, that can be deleted, as it's "
         "needed for the Kathrein UFS910"},
        {"sPanel14", "PIDScanLabel", "sLabelFX2",
         "Dieser Schritt sucht nach allen vorhandenen PIDs innerhalb des Stream und versucht die Erkennung des Typs",
         "This step searches for all available PIDs within the stream and detection of the type"},
        {"sPanel15", "PATScanLabel", "sLabelFX3",
         "Dieser Schritt sucht nach vorhandenen Program Access Tables und versucht die korrekte Tabelle zu finden",
         "This step searches for all available Program Access Tables and detection of the correct table"},
        {"sPanel16", "PMTScanLabel", "sLabelFX4",
         "Dieser Schritt sucht nach vorhandenen Program Map Tables versucht die korrekte Tabelle zu finden",
         "This step searches for all available Program Map Tables and detection of the correct table"},
        {"sPanel17", "PATRebuildLabel", "sLabelFX5", "Dieser Schritt erstellt eine neue korrigierte Program Access Table",
         "This step creates a new corrected Program Access Table"},
        {"sPanel18", "PCRCheckLabel", "sLabelFX6", "Dieser Schritt überprüft den PCR Timer",
         "This step checks the PCR timer, the most relevant timer for a DVB stream"},
        {"sPanel19", "PMTRebuildLabel", "sLabelFX7",
         "Dieser Schritt erstellt eine neue korrigierte Program Map Table, die nur Einträge von Substreams enthält welche auch "
         "im Hauptstream vorhanden sind",
         "This step creates a new corrected Program Map Table, that has only entries for substreams available in the main "
         "stream"},
        {"sPanel20", "StartEndCheckLabel", "sLabelFX8",
         "Dieser Schritt bestimmt Anfang und Ende des Stream und berechnet die genaue Laufzeit",
         "This step detects the beginning and the end of the stream and calculation of the correct run time"},
        {"sPanel21", "VideoDetailScanLabel", "sLabelFX9",
         "Dieser Schritt sucht nach Details über den Videostream (Kompression, Auflösung, Framerate)",
         "This step searches for details about the video stream (compression, resolution, framerate)"},
        {"sPanel22", "AudioDetailScanLabel", "sLabelFX10",
         "Dieser Schritt sucht nach Details über die Audiostreams (Kompression, Bitrate, Anzahl der Tonkanäle)",
         "This step searches for details about the audio streams (compression, bitrate, number of channels)"},
    };
    for (const StepHint& s : kSteps) {
        t.push_back({s.panel, ctHint, s.german, s.english});
        t.push_back({s.label, ctHint, s.german, s.english});
        t.push_back({s.fx, ctHint, s.german, s.english});
    }
    return t;
}

struct MessagePair {
    const char* german;
    const char* english;
};

// Index = message id; slot 0 unused.
const MessagePair kMessages[mmCount] = {
    {"", ""},
    {"Keine gültige PAT gefunden!", "No valid PAT found!"},
    {"PMT ungültig!", "PMT invalid!"},
    {"PCR nicht gefunden!", "PCR missing!"},
    {"Unbekannt", "Unknown"},
    {"Wirklich abbrechen?", "Do you want to abort the process?"},
    {"Gültiges Startbyte nicht an der richtige Stelle gefunden!\rWollen sie trotzdem fortsetzen mit einem Offset?",
     "Valid start byte not found in the correct possition!\rDo you want to try to continue with an offset?"},
    {"M2TS Streamformat mit 192 Byte Packeten erkannt !\rStream wird in 188 Byte Transportstream convertiert!\rWollen sie "
     "fortsetzen im M2TS-Modus?",
     "M2TS stream format with 192 byte pakets detected!\rStream will be converted into 188 byte transport stream!\rDo you "
     "want to continue in M2TS mode?"},
    {"PCR-Warp erkannt!", "PCR warp around detected!"},
    {"PCR-Wraps können mit einigen Playern Probleme erzeugen!", "PCR wraps can cause trouble with some players!"},
    {"Timer patchen um Wrap zu entfernen (empfohlen) ?", "Patch timer to remove wrap (recommended) ?"},
    {"Video_full_range_flag ist gesetzt!", "Video_full_range_flag is set!"},
    {"Bei DVB-Streams sollte das Flag normalerweise nicht gesetzt sein!", "For DVB streams this flag should not be set!"},
    {"Wert korrigieren?", "Do you want the flag to be corrected?"},
    {"AC3 StreamID hat nicht den korrekten Wert", "AC3 StreamID has not the correct value"},
    {"Bei DVB-Streams sollte die StreamID für AC3 normalerweise $BD sein", "For DVB streams the StreamID of AC should be $BD"},
    {"StreamID korrigieren?", "Do you want the StreamID to be corrected?"},
    {"PCR-Wert ausserhalb der Toleranz!", "PCR value out of range!"},
    {"PCR-Werte korrigieren?", "Do you want the PCR values to be corrected?"},
    {"Kein Videostream in PMT gefunden!\rEin H264 Videostream wurde erkannt und die PMT angepaßt!",
     "No video stream in PMT found!\rA H264 video stream was detected and the PMT was patched!"},
    {"TS = Transport Stream\rPES = Packetized Elementary Stream\rES = Elementary Stream",
     "TS = Transport Stream\rPES = Packetized Elementary Stream\rES = Elementary Stream"},
    {"Vorgang abgebrochen mit Fehlern!", "Process aborted with errors!"},
    {"Vorgang abgebrochen!", "Process aborted!"},
    {"Vorgang erfolgreich abgeschlossen!", "Process successfully completed!"},
    {"Verschlüsselte Transportpackete entdeckt!", "Scrambled transport pakets detected!"},
    {"Verschlüsselte Packete überspringen?", "Skip scrambled pakets?"},
    {"Aber Fehler sind aufgetreten, bitte Log überprüfen!", "But Errors occurred, please check log!"},
    {"Streams nicht entfernen", "Preserve streams"},
    {"Warnung", "Warning"},
    {"Prog.Nr (SID)", "Prog.no (SID)"},
    {"Experimentelle Experten-Funktion!", "Experimental expert funktion!"},
    {"Hier bitte nur Änderungen vornehmen, wenn unbedingt notwendig und wenn man weiß was man da tut!",
     "Please do changes here only if absolutly needed and if you know exactly what you are doing!"},
    {"Ursprüngliche PNR (SID)", "Current pr.no.(SID)"},
    {"Neue PNR (SID)", "New pr.no.(SID)"},
    {"Ursprüngliche PID", "Current PID"},
    {"Neue PID", "New PID"},
    {"Abbrechen", "Cancel"},
};

struct LanguageName {
    const char* codes[3];
    const char* german;
    const char* english;
};

const LanguageName kLanguages[] = {
    {{"ger", "deu", "de"}, "Deutsch", "German"},
    {{"dut", "nld", "nl"}, "Niederländisch", "Dutch"},
    {{"fre", "fra", "fr"}, "Französisch", "French"},
    {{"spa", "es", nullptr}, "Spanisch", "Spanish"},
    {{"ita", "it", nullptr}, "Italienisch", "Italian"},
    {{"swe", "sv", nullptr}, "Schwedisch", "Swedish"},
    {{"eng", nullptr, nullptr}, "Englisch", "English"},
    {{"dan", nullptr, nullptr}, "Dänisch", "Danish"},
    {{"nor", "no", nullptr}, "Norwegisch", "Norwegian"},
    {{"fin", "fi", nullptr}, "Finnisch", "Finnish"},
};

std::string StreamHint(const char* kindGer, const char* kindEng, const char* clickGer, const char* clickEng, int number,
                       const std::string& extra, bool german) {
    std::string s = std::string(german ? kindGer : kindEng) + IntToStr(number) + kCR;
    if (!extra.empty()) s += extra + "\r\n";
    s += std::string(kCR) + (german ? "Rechte Maustaste für Spezialmenü" : "Press right mouse button for special menu") + kCR;
    s += std::string(kCR) + (german ? clickGer : clickEng) + kCR +
         (german ? "um den Stream zu deaktivieren/aktivieren" : "to deactivate/activate the stream");
    return s;
}

} // namespace

const std::vector<TControlText>& MainControlTexts() {
    static const std::vector<TControlText> texts = BuildControlTexts();
    return texts;
}

std::string ControlText(const std::string& control, TControlTextKind kind, bool german) {
    for (const TControlText& t : MainControlTexts())
        if (t.kind == kind && control == t.control) return german ? t.german : t.english;
    return {};
}

std::string OutputNoteText(TOutputNote note, bool german) {
    if (note == TOutputNote::Removed)
        return german ? "Die angefangene Ausgabedatei wurde wieder gelöscht." : "The output that was begun has been deleted again.";
    return german ? "Die Ausgabedatei ist unvollständig:" : "The output is incomplete:";
}

std::string RecordingChangedText(bool german) {
    return german ? "Die Aufnahme wurde seit ihrer Analyse verändert!\rBitte die Aufnahme neu analysieren:"
                  : "The recording has changed since its analysis!\rPlease analyse the recording again:";
}

std::string LogNameRefusal(const std::string& input, const std::string& output, const std::string& log, bool german) {
    if (!SameFilePath(log, output) && !SameFilePath(log, input)) return {};
    return german ? "Das Log neben der neuen Datei (" + ExtractFileName(log) +
                        ") w\xC3\xBCrde sie oder die Aufnahme ersetzen!\rBitte anderen Namen w\xC3\xA4hlen."
                  : "The log beside the new file (" + ExtractFileName(log) +
                        ") would replace it or the recording!\rPlease choose another name.";
}

std::string MessageTextIn(int id, bool german) {
    if (id < 1 || id >= mmCount) return {};
    return german ? kMessages[id].german : kMessages[id].english;
}

TMainMessages::TMainMessages() { SetLanguage(false); }

void TMainMessages::SetLanguage(bool german) {
    german_ = german;
    texts_.assign(mmCount, std::string());
    for (int id = 1; id < mmCount; ++id) texts_[static_cast<size_t>(id)] = MessageTextIn(id, german);
}

const std::string& TMainMessages::Text(int id) const {
    static const std::string empty;
    if (id < 1 || id >= mmCount) return empty;
    return texts_[static_cast<size_t>(id)];
}

TMainMessages& MainMessages() {
    static TMainMessages m;
    return m;
}

std::string LanguageCodeName(const std::string& code, bool german) {
    std::string c = LowerCase(code);
    for (const LanguageName& l : kLanguages)
        for (const char* k : l.codes)
            if (k && c == k) return german ? l.german : l.english;
    return c;
}

std::string AudioStreamHint(int number, const std::string& extra, bool german) {
    return StreamHint("Audiostream ", "Audio stream ", "Mit linker Maustaste auf das Lautsprechersymbol klicken ",
                      "Press left mouse button on speaker symbol", number, extra, german);
}

std::string TextStreamHint(int number, const std::string& extra, bool german) {
    return StreamHint("Textstream ", "Text stream ", "Mit linker Maustaste auf Text klicken ",
                      "Press left mouse button on Text", number, extra, german);
}

std::string WindowsVersionText(int platformId, int major, int minor, int build, const std::string& servicePack) {
    std::string name;
    std::string sp;
    if (platformId == 1) { // the 9x family
        if (major == 4) {
            if (minor == 0) {
                name = "95";
                if (!servicePack.empty() && (servicePack[0] == 'B' || servicePack[0] == 'C')) name = "95 OSR2";
            } else if (minor == 10) {
                name = "98";
                if (!servicePack.empty() && servicePack[0] == 'A') name = "98 SE";
            } else if (minor == 90) {
                name = "ME";
            }
        } else {
            name = "9x version (unknown)";
        }
    } else if (platformId == 2) { // the NT family
        sp = servicePack;
        if (major <= 4) name = "NT";
        else if (major == 5) name = minor == 0 ? "2000" : minor == 1 ? "XP" : minor == 2 ? "Server 2003" : "";
        else if (major == 6 && minor == 0) name = "Vista";
        else if (major == 6 && minor == 1) name = "7";
        else name = "Future Windows version (unknown)";
    }
    return "Windows " + name + " " + Format(" Version %d.%d Build %d %s", major, minor, build, sp.c_str());
}

const double kProgramVersion = 1.0;

std::string VersionText(double version) {
    std::string s = Format("%.2f", version) + " beta";
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}

std::string SizeText(int64_t bytes) {
    constexpr int64_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024;
    std::string s;
    if (bytes > kGiB) s = Format("%.1f GB", double(bytes) / double(kGiB));
    else if (bytes >= kMiB) s = Format("%.1f MB", double(bytes) / double(kMiB));
    else if (bytes >= kKiB) s = Format("%.1f KB", double(bytes) / double(kKiB));
    else return IntToStr(bytes) + " B";
    for (char& c : s)
        if (c == ',') c = '.';
    return s;
}

const char* const kProblemCaption = "Tarnwick Problem";
const char* const kPlatformEventText = "This OS is not supported!";

std::string PlatformProblemText(bool german) {
    if (german) return std::string("Programm ist konzipiert für NT, XP oder Vista!") + kCR + "Diese OS wird nicht unterstützt!";
    return std::string("Application designed for NT,XP or Vista!") + kCR + "This OS is not supported!";
}

std::string DataFolderErrorText(const std::string& path) {
    return std::string("Application directory error! ") + kCR + "Path: " + path;
}

std::string DescriptorDialogCaption(bool german) {
    return german ? "Language_Descriptor ändern" : "Change Language_Descriptor";
}
std::string DescriptorDialogPrompt(bool german) { return german ? "Neuer Descriptor:" : "New descriptor:"; }
std::string DescriptorLengthMessage(bool german) {
    return german ? "Language_Descriptor muß eine Länge von 3 Zeichen haben"
                  : "Language_Descriptor must have a length of 3 characters";
}

} // namespace tw
