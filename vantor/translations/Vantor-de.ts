<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <source>Unable to cast repository from: %1</source>
        <translation>Repository kann nicht ermittelt werden aus: %1</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::ApiClient</name>
    <message>
        <source>Repository error: group id not found - unable to fetch examples</source>
        <translation>Repository-Fehler: Gruppen-ID nicht gefunden - Beispiele können nicht abgerufen werden</translation>
    </message>
    <message>
        <source>Fetch examples</source>
        <translation>Beispiele abrufen</translation>
    </message>
    <message>
        <source>Searching examples</source>
        <translation>Beispiele werden gesucht</translation>
    </message>
    <message>
        <source>Network error: %1</source>
        <translation>Netzwerkfehler: %1</translation>
    </message>
    <message>
        <source>Search error: request return null object</source>
        <translation>Suchfehler: Die Anfrage lieferte ein leeres Objekt</translation>
    </message>
    <message>
        <source>Search error: request return wrong data - no id field</source>
        <translation>Suchfehler: Die Anfrage lieferte falsche Daten - kein Feld &quot;id&quot;</translation>
    </message>
    <message>
        <source>API client is ready</source>
        <translation>API-Client ist bereit</translation>
    </message>
    <message>
        <source>Fetch error: request return null object</source>
        <translation>Abruffehler: Die Anfrage lieferte ein leeres Objekt</translation>
    </message>
    <message>
        <source>Fetch error: request return wrong data - no projects field</source>
        <translation>Abruffehler: Die Anfrage lieferte falsche Daten - kein Feld &quot;projects&quot;</translation>
    </message>
    <message>
        <source>Downloading example: %1</source>
        <translation>Beispiel wird heruntergeladen: %1</translation>
    </message>
    <message>
        <source>Unable to download image: %1</source>
        <translation>Bild kann nicht heruntergeladen werden: %1</translation>
    </message>
    <message>
        <source>Download larger than %1 MiB cancelled: %2</source>
        <translation>Download größer als %1 MiB abgebrochen: %2</translation>
    </message>
    <message>
        <source>Search error: request return wrong data - unusable group id</source>
        <translation>Suchfehler: Die Anfrage lieferte falsche Daten - unbrauchbare Gruppen-ID</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::DownloadService</name>
    <message>
        <source>Skip downloading examples - unable to find repository for name: %1</source>
        <translation>Beispiele werden nicht heruntergeladen - kein Repository mit dem Namen: %1</translation>
    </message>
    <message>
        <source>API client is not ready - restarting</source>
        <translation>API-Client ist nicht bereit - Neustart</translation>
    </message>
    <message>
        <source>Skip downloading examples - unable to find repository for url: %1</source>
        <translation>Beispiele werden nicht heruntergeladen - kein Repository mit der URL: %1</translation>
    </message>
    <message>
        <source>The data is not downloaded for example: %1</source>
        <translation>Die Daten des Beispiels wurden nicht heruntergeladen: %1</translation>
    </message>
    <message>
        <source>Skip saving example %1 - unable to find repository name for url: %2</source>
        <translation>Beispiel %1 wird nicht gespeichert - kein Repository-Name für die URL: %2</translation>
    </message>
    <message>
        <source>Skip saving example %1 - unusable folder name: %2</source>
        <translation>Beispiel %1 wird nicht gespeichert - unbrauchbarer Ordnername: %2</translation>
    </message>
    <message>
        <source>Unpacking example: %1</source>
        <translation>Beispiel wird entpackt: %1</translation>
    </message>
    <message>
        <source>Downloaded file is not an archive</source>
        <translation>Die heruntergeladene Datei ist kein Archiv</translation>
    </message>
    <message>
        <source>There was an error while unarchiving</source>
        <translation>Beim Entpacken ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Skip registering example %1 - unable to find repository for name: %2</source>
        <translation>Beispiel %1 wird nicht registriert - kein Repository mit dem Namen: %2</translation>
    </message>
    <message>
        <source>There was an error while creating example mainfest</source>
        <translation>Beim Erstellen des Beispiel-Manifests ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Example %1 was modified and could not be kept as a backup, so it was not updated</source>
        <translation>Beispiel %1 wurde geändert und konnte nicht gesichert werden, daher wurde es nicht aktualisiert</translation>
    </message>
    <message>
        <source>Example %1 was modified; the previous version was kept in: %2</source>
        <translation>Beispiel %1 wurde geändert; die vorherige Version liegt in: %2</translation>
    </message>
    <message>
        <source>Unpacking cancelled, example %1 is larger than %2 MiB or %3 files</source>
        <translation>Entpacken abgebrochen, Beispiel %1 ist größer als %2 MiB oder %3 Dateien</translation>
    </message>
    <message>
        <source>Unable to move example %1 into place</source>
        <translation>Beispiel %1 kann nicht an seinen Platz verschoben werden</translation>
    </message>
    <message>
        <source>no temporary folder</source>
        <translation>kein temporärer Ordner</translation>
    </message>
    <message>
        <source>Unable to save downloaded example: %1</source>
        <translation>Heruntergeladenes Beispiel kann nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::Example</name>
    <message>
        <source>example</source>
        <translation>Beispiel</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>This file is used by SDK to show image for example inside Welcome screen.
It is not the part of the example.</source>
        <translation>Diese Datei verwendet das SDK, um das Bild des Beispiels im Willkommensbildschirm anzuzeigen.
Sie ist nicht Teil des Beispiels.</translation>
    </message>
</context>
<context>
    <name>Vantor::Internal::VantorPlugin</name>
    <message>
        <source>Examples</source>
        <translation>Beispiele</translation>
    </message>
</context>
</TS>
