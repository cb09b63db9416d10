#include "res/StringTable.h"

#include <algorithm>

#include "res/Resource.h"

namespace res {
namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// "\n\r" in the help text is deliberate: each line break there
// is a line feed followed by a carriage return.
constexpr Entry kStrings[] = {
    {IDS_OLE_INIT_FAILED,
     "OLE-Initialisierungsfehler. Stellen Sie sicher, dass die OLE-Bibliotheken in der "
     "richtigen Version vorliegen."},
    {IDS_COMMAND_LINE_HELP,
     "Aufrufparameter:\n\r-d nnnn :Verbinde über ISDN mit Rufnummer nnnn \n\r-? Help"},
    {IDS_STATUS_READY, "Bereit"},
    {IDS_SOCKETS_INIT_FAILED, "Fehler beim Initialisieren der Windows-Sockets."},
    {IDS_STATUS_ERROR, "Fehler"},
    {IDS_STATUS_DIALLING, "Wähle ..."},
    {IDS_STATUS_CONNECTED, "Verbunden"},
    {IDS_STATUS_FAILED, "Verbindung fehlgeschlagen"},
    {IDS_STATUS_DISCONNECTING, "Verbindungstrennung"},
    {IDS_URL_RELAY_ROOT, "http:\\\\localhost:%d"},
    {ID_INDICATOR_SOCKET, "12345678901234567890"},
    {ID_INDICATOR_ISDN, "1234567890123456789012345678901234567890"},
    {IDS_STATUS_CONNECTING, "Verbinde ..."},
    {IDS_STATUS_TEMPLATE_FILE, "HttpStatus.html"},
    {IDS_URL_STATUS_PAGE, "http:\\\\localhost:%d/HttpStatus.html"},
    {IDS_PAGE_HEADER, "<h3><b>Verbindung zu %s</b></h3>"},
    {IDS_PAGE_STATUS, "ISDN Status: %s"},
    {IDS_PAGE_STATUS_REASON, "ISDN Status: %s - %s"},
    {IDR_MAINFRAME, "Quorbel\n\nQuorbel\n\n\nQuorbel.Document\nQuorbel.Document"},
    {IDS_REASON_3301, ""},
    {IDS_REASON_3302, ""},
    {IDS_REASON_3303, ""},
    {IDS_REASON_3304, ""},
    {IDS_REASON_3481, ""},
    {IDS_REASON_3482, "ETSI x82: Ruf kann im Netz nicht vermittelt werden!"},
    {IDS_REASON_3483, "ETSI x83: Teilnehmer nicht bekannt!"},
    {IDS_REASON_3486, "ETSI x86: ISDN Kanal wird nicht unterstützt"},
    {IDS_REASON_3487, "ETSI x87: Ruf wurde angenommen und in vorhandenen Kanal übernommen."},
    {IDS_REASON_3491, "ETSI x91: Teilnehmer besetzt"},
    {IDS_REASON_3492, "ETSI x92: Teilnehmer hebt nicht ab"},
    {IDS_REASON_3493, "ETSI x93: Kein Teilnehmer meldet sich"},
    {IDS_REASON_3495, "ETSI x95: Ruf wurde abgelehnt"},
    {IDS_REASON_3496, "ETSI x96: Rufnummer wurde geändert"},
    {IDS_REASON_349A, "ETSI x9A: Nonselect user clearing"},
    {IDS_REASON_349B, "ETSI x9B: Endgerät der Gegenstelle ist nicht betriebsbereit"},
    {IDS_REASON_349C, "ETSI x9C: Nummernformat falsch"},
    {IDS_REASON_349D, "ETSI x9D: Leistungsmerkmal wird abgelehnt"},
    {IDS_REASON_349E, "ETSI x9E: Antwort auf Status Enquiry"},
    {IDS_REASON_HUNG_UP, "Aufgelegt"},
    {IDS_REASON_34D8, "ETSI xD8: Gegenstelle ist nicht freigeschaltet"},
    {IDS_CAPI_REASON, "Capi: 0x%04x"},
    {IDS_URL_CACHE_PREFIX, "http://localhost:%d/"},
    {ID_DISCONNECT, "Trennt die aktuelle Verbindung.\nTrennen"},
    {ID_CONNECT, "Stellt eine Serviceverbindung her.\nVerbinden"},
    {AFX_IDS_APP_TITLE, "Quorbel"},
    {AFX_IDS_IDLEMESSAGE, "Bereit"},
    {ID_APP_ABOUT, "Zeigt Programm-, Versions- und Copyrightinformationen an.\nInfo"},
    {ID_APP_EXIT, "Beendet die Anwendung und fordert zum Speichern der Dokumente auf.\nBeenden"},
    {AFX_IDP_PARSE_STRING_SIZE, "Enter no more than %1 characters."},
};

}  // namespace

std::string LoadString(unsigned id) {
    const auto* entry = std::find_if(std::begin(kStrings), std::end(kStrings),
                                     [id](const Entry& e) { return e.id == id; });
    return entry == std::end(kStrings) ? std::string{} : std::string(entry->text);
}

}  // namespace res
