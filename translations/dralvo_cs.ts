<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="cs_CZ" sourcelanguage="en">
<context>
    <name>CommandLine</name>
    <message>
        <source>Serial debug console for a Java application on a GSM module.
Settings: ${XDG_CONFIG_HOME:-~/.config}/Oxatek/user.reg
Logs: ./logs, or ${XDG_STATE_HOME:-~/.local/state}/Dralvo/logs when started from / or the home folder
Kept in the settings at close: PORT, --baud and --config (the port&apos;s settings, as the window stores them). For this run only: --start, --headless, --log-dir, --settings, --name. A headless run does not save the settings at its end.</source>
        <translation>Sériová ladicí konzole pro Java aplikaci v GSM modulu.
Nastavení: ${XDG_CONFIG_HOME:-~/.config}/Oxatek/user.reg
Logy: ./logs, nebo ${XDG_STATE_HOME:-~/.local/state}/Dralvo/logs při spuštění z / nebo z domovské složky
Při zavření se v nastavení uloží: PORT, --baud a --config (nastavení portu, jak je ukládá okno). Jen pro tento běh: --start, --headless, --log-dir, --settings, --name. Běh bez okna na konci nastavení neukládá.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Ukáže tuto nápovědu a skončí.</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>Ukáže verzi a skončí.</translation>
    </message>
    <message>
        <source>Run without a window (no display needed): connect at once, log, answer the control socket; status lines go to standard error. SIGTERM or SIGINT ends it.</source>
        <translation>Běžet bez okna (displej není potřeba): hned se připojit, logovat, odpovídat na řídicím socketu; stavové řádky jdou na standardní chybový výstup. Ukončí jej SIGTERM nebo SIGINT.</translation>
    </message>
    <message>
        <source>Connect as &quot;Connect &amp; Start&quot; does (not as &quot;Connect&quot;).</source>
        <translation>Připojit jako „Připojit &amp; spustit“ (ne jako „Připojit“).</translation>
    </message>
    <message>
        <source>The port&apos;s speed in bit/s.</source>
        <translation>Rychlost portu v bit/s.</translation>
    </message>
    <message>
        <source>The port&apos;s configuration string, as the port dialog exports it, e.g. &apos;&quot;COM1&quot;,&quot;115200&quot;,&quot;8&quot;,&quot;1&quot;,&quot;None&quot;,&quot;1/1 1/1&quot;,&quot;10 0 0 0 0&quot;&apos; (an empty field keeps its value).</source>
        <translation>Konfigurační řetězec portu, jak jej exportuje dialog portu, např. &apos;&quot;COM1&quot;,&quot;115200&quot;,&quot;8&quot;,&quot;1&quot;,&quot;None&quot;,&quot;1/1 1/1&quot;,&quot;10 0 0 0 0&quot;&apos; (prázdná položka si ponechá hodnotu).</translation>
    </message>
    <message>
        <source>Write the daily logs into DIR (made when missing).</source>
        <translation>Zapisovat denní logy do DIR (vytvoří se, když chybí).</translation>
    </message>
    <message>
        <source>Use FILE as the settings file (the user hive).</source>
        <translation>Použít FILE jako soubor nastavení (uživatelský hive).</translation>
    </message>
    <message>
        <source>Name this instance: its control socket is Dralvo_v1-7@NAME.ctl (dralvo-msg --name NAME reaches it) and its windows&apos; titles carry NAME.</source>
        <translation>Pojmenovat tuto instanci: její řídicí socket je Dralvo_v1-7@NAME.ctl (dralvo-msg --name NAME ji zastihne) a titulky jejích oken nesou NAME.</translation>
    </message>
    <message>
        <source> Try &apos;%1 --help&apos;.</source>
        <translation> Zkuste &apos;%1 --help&apos;.</translation>
    </message>
    <message>
        <source>one port only, not also &apos;%1&apos;.</source>
        <translation>jen jeden port, ne ještě &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is no port name.</source>
        <translation>&apos;%1&apos; není jméno portu.</translation>
    </message>
    <message>
        <source>--baud: &apos;%1&apos; is not one of %2.</source>
        <translation>--baud: &apos;%1&apos; není žádná z %2.</translation>
    </message>
    <message>
        <source>--log-dir: the folder&apos;s name is empty.</source>
        <translation>--log-dir: jméno složky je prázdné.</translation>
    </message>
    <message>
        <source>--log-dir: &apos;%1&apos; is not a folder.</source>
        <translation>--log-dir: &apos;%1&apos; není složka.</translation>
    </message>
    <message>
        <source>--settings: the file&apos;s name is empty.</source>
        <translation>--settings: jméno souboru je prázdné.</translation>
    </message>
    <message>
        <source>--settings: &apos;%1&apos; is a folder.</source>
        <translation>--settings: &apos;%1&apos; je složka.</translation>
    </message>
    <message>
        <source>--name: &apos;%1&apos; is not a name of up to 64 letters, digits and &apos;._-@&apos;.</source>
        <translation>--name: &apos;%1&apos; není jméno z nejvýš 64 písmen, číslic a &apos;._-@&apos;.</translation>
    </message>
    <message>
        <source>Show log files (the FILE arguments, or chosen in a dialog) in the history view, without a port.</source>
        <translation>Ukázat soubory logu (argumenty FILE, nebo vybrané v dialogu) v pohledu historie, bez portu.</translation>
    </message>
    <message>
        <source>The port for this run, connected at once: a device path (/dev/ttyUSB0, /dev/serial/by-id/...), a name under /dev (ttyACM0) or COMn. With --view: log files.</source>
        <translation>Port pro tento běh, připojí se hned: cesta k zařízení (/dev/ttyUSB0, /dev/serial/by-id/...), jméno v /dev (ttyACM0) nebo COMn. S --view: soubory logu.</translation>
    </message>
</context>
<context>
    <name>ConfigString</name>
    <message>
        <source>the speed &quot;%1&quot; is not one of %2</source>
        <translation>rychlost „%1“ není žádná z %2</translation>
    </message>
    <message>
        <source>the data bits &quot;%1&quot; are not 4, 5, 6, 7 or 8</source>
        <translation>datové bity „%1“ nejsou 4, 5, 6, 7 ani 8</translation>
    </message>
    <message>
        <source>the stop bits &quot;%1&quot; are not 1, 1.5 or 2</source>
        <translation>stop bity „%1“ nejsou 1, 1.5 ani 2</translation>
    </message>
    <message>
        <source>the parity &quot;%1&quot; is not None, Odd, Even, Mark or Space</source>
        <translation>parita „%1“ není None, Odd, Even, Mark ani Space</translation>
    </message>
    <message>
        <source>the line controls &quot;%1&quot; are not DTR and RTS as control/state (for example 1/1 1/1)</source>
        <translation>řízení linek „%1“ není DTR a RTS jako řízení/stav (například 1/1 1/1)</translation>
    </message>
    <message>
        <source>the time-outs &quot;%1&quot; are not numbers of milliseconds</source>
        <translation>časové limity „%1“ nejsou počty milisekund</translation>
    </message>
</context>
<context>
    <name>Headless</name>
    <message>
        <source>Log: %1</source>
        <translation>Log: %1</translation>
    </message>
    <message>
        <source>Control socket: %1</source>
        <translation>Řídicí socket: %1</translation>
    </message>
    <message>
        <source>Control socket is not %1: %2</source>
        <translation>Řídicí socket není %1: %2</translation>
    </message>
    <message>
        <source>No control socket: %1</source>
        <translation>Žádný řídicí socket: %1</translation>
    </message>
    <message>
        <source>Ended.</source>
        <translation>Ukončeno.</translation>
    </message>
</context>
<context>
    <name>PortOpenReason</name>
    <message>
        <source>COM port &quot;%1&quot;: </source>
        <translation>COM port „%1“: </translation>
    </message>
    <message>
        <source>no such device</source>
        <translation>takové zařízení neexistuje</translation>
    </message>
    <message>
        <source>. No serial port is present.</source>
        <translation>. Není k dispozici žádný sériový port.</translation>
    </message>
    <message>
        <source>. Ports present: %1.</source>
        <translation>. Dostupné porty: %1.</translation>
    </message>
    <message>
        <source>permission denied on %1. Read and write access is needed, through the &quot;%2&quot; group: sudo adduser $USER %2, then log out and in again.</source>
        <translation>k %1 chybí oprávnění. Je potřeba přístup pro čtení i zápis, přes skupinu „%2“: sudo adduser $USER %2, pak se odhlaste a znovu přihlaste.</translation>
    </message>
    <message>
        <source>permission denied on %1. Read and write access is needed, usually through the &quot;%2&quot; group: sudo adduser $USER %2, then log out and in again.</source>
        <translation>k %1 chybí oprávnění. Je potřeba přístup pro čtení i zápis, obvykle přes skupinu „%2“: sudo adduser $USER %2, pak se odhlaste a znovu přihlaste.</translation>
    </message>
    <message>
        <source>busy, another program has %1 open</source>
        <translation>obsazeno, %1 má otevřený jiný program</translation>
    </message>
    <message>
        <source>ModemManager probes GSM modules; stop it with &quot;sudo systemctl stop ModemManager&quot;.</source>
        <translation>ModemManager zkoumá GSM moduly; zastavte jej příkazem „sudo systemctl stop ModemManager“.</translation>
    </message>
    <message>
        <source>%1 is not a serial device.</source>
        <translation>%1 není sériové zařízení.</translation>
    </message>
    <message>
        <source>cannot open %1: %2.</source>
        <translation>%1 nelze otevřít: %2.</translation>
    </message>
</context>
<context>
    <name>QuickSendBar</name>
    <message>
        <source>Edit ...</source>
        <translation>Upravit ...</translation>
    </message>
    <message>
        <source>Edit the quick-send buttons and the reactions to received lines</source>
        <translation>Upravit tlačítka rychlého odesílání a reakce na přijaté řádky</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Zastavit</translation>
    </message>
    <message>
        <source>Stop the running sequence</source>
        <translation>Zastavit běžící sekvenci</translation>
    </message>
</context>
<context>
    <name>TPortDialog</name>
    <message>
        <source>How often the modem lines (CTS, DSR, RING, DCD) are read, in milliseconds</source>
        <translation>Jak často se čtou stavové linky modemu (CTS, DSR, RING, DCD), v milisekundách</translation>
    </message>
    <message>
        <source>A burst of received bytes is handed on once the line has been quiet this many milliseconds</source>
        <translation>Přijaté bajty se předají dál, jakmile je linka tolik milisekund v klidu</translation>
    </message>
    <message>
        <source>Read time-out: fixed part in milliseconds (0 with the next: no limit)</source>
        <translation>Časový limit čtení: pevná část v milisekundách (0 spolu s další položkou: bez limitu)</translation>
    </message>
    <message>
        <source>Read time-out: milliseconds added per byte asked for</source>
        <translation>Časový limit čtení: milisekundy navíc za každý požadovaný bajt</translation>
    </message>
    <message>
        <source>Write time-out: fixed part in milliseconds; a write that takes longer is given up (0 with the next: no limit)</source>
        <translation>Časový limit zápisu: pevná část v milisekundách; zápis, který trvá déle, se vzdá (0 spolu s další položkou: bez limitu)</translation>
    </message>
    <message>
        <source>Write time-out: milliseconds added per byte written</source>
        <translation>Časový limit zápisu: milisekundy navíc za každý zapsaný bajt</translation>
    </message>
    <message>
        <source>Do not watch for line breaks (the line held low)</source>
        <translation>Nehlídat přerušení linky (linka držená v nule)</translation>
    </message>
    <message>
        <source>Do not watch the CTS line for changes</source>
        <translation>Nehlídat změny linky CTS</translation>
    </message>
    <message>
        <source>Do not watch the DSR line for changes</source>
        <translation>Nehlídat změny linky DSR</translation>
    </message>
    <message>
        <source>Do not watch for line errors (framing, parity, overrun)</source>
        <translation>Nehlídat chyby linky (rámec, parita, přetečení)</translation>
    </message>
    <message>
        <source>Do not watch the RING line</source>
        <translation>Nehlídat linku RING</translation>
    </message>
    <message>
        <source>Do not watch the carrier detect line (DCD)</source>
        <translation>Nehlídat linku detekce nosné (DCD)</translation>
    </message>
    <message>
        <source>Do not report each received character as an event</source>
        <translation>Nehlásit každý přijatý znak jako událost</translation>
    </message>
    <message>
        <source>Do not watch for the event character</source>
        <translation>Nehlídat znak události</translation>
    </message>
    <message>
        <source>Do not report when the last byte has left the wire</source>
        <translation>Nehlásit, že poslední bajt opustil linku</translation>
    </message>
    <message>
        <source>COM port:</source>
        <translation>COM port:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Rychlost:</translation>
    </message>
    <message>
        <source>Data bits:</source>
        <translation>Datové bity:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>Parita:</translation>
    </message>
    <message>
        <source>Stop bits:</source>
        <translation>Stop bity:</translation>
    </message>
    <message>
        <source>DTR:</source>
        <translation>DTR:</translation>
    </message>
    <message>
        <source>RTS:</source>
        <translation>RTS:</translation>
    </message>
    <message>
        <source>Preset:</source>
        <translation>Předvolba:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Zrušit</translation>
    </message>
    <message>
        <source>The serial device: a path (/dev/ttyUSB0), a name in /dev (ttyUSB0) or COMn (/dev/ttyS0 for COM1); the list shows the ports the system has.</source>
        <translation>Sériové zařízení: cesta (/dev/ttyUSB0), jméno v /dev (ttyUSB0) nebo COMn (/dev/ttyS0 pro COM1); seznam ukazuje porty, které systém má.</translation>
    </message>
    <message>
        <source>Line speed in bits per second; the module must use the same</source>
        <translation>Rychlost linky v bitech za sekundu; modul musí používat stejnou</translation>
    </message>
    <message>
        <source>Data bits of each character (8 for a GSM module)</source>
        <translation>Datové bity každého znaku (8 pro GSM modul)</translation>
    </message>
    <message>
        <source>The parity bit after the data bits: none, odd, even, always 1 (Mark) or always 0 (Space)</source>
        <translation>Paritní bit za datovými bity: žádný, lichá, sudá, vždy 1 (Mark) nebo vždy 0 (Space)</translation>
    </message>
    <message>
        <source>Stop bits after each character</source>
        <translation>Stop bity za každým znakem</translation>
    </message>
    <message>
        <source>The DTR output: Off or On; HighZ leaves it to the driver; Handshake drops it while the program is far behind with received data</source>
        <translation>Výstup DTR: Off nebo On; HighZ jej nechá ovladači; Handshake jej shodí, dokud program nestíhá přijatá data</translation>
    </message>
    <message>
        <source>The RTS output: Off or On; HighZ leaves it to the driver; Handshake is hardware flow control (with CTS); Toggle raises it only while sending (RS-485)</source>
        <translation>Výstup RTS: Off nebo On; HighZ jej nechá ovladači; Handshake je hardwarové řízení toku (s CTS); Toggle jej zapne jen během vysílání (RS-485)</translation>
    </message>
    <message>
        <source>Fills the fields with the settings of a known device</source>
        <translation>Vyplní položky nastavením známého zařízení</translation>
    </message>
    <message>
        <source>Output waits while the module holds CTS off</source>
        <translation>Vysílání čeká, dokud modul drží CTS vypnuté</translation>
    </message>
    <message>
        <source>Output waits while DSR is off</source>
        <translation>Vysílání čeká, dokud je DSR vypnuté</translation>
    </message>
</context>
<context>
    <name>TerminalFindBar</name>
    <message>
        <source>Find:</source>
        <translation>Hledat:</translation>
    </message>
    <message>
        <source>Match case</source>
        <translation>Rozlišovat velká a malá písmena</translation>
    </message>
    <message>
        <source>Previous (Shift+F3)</source>
        <translation>Předchozí (Shift+F3)</translation>
    </message>
    <message>
        <source>Next (F3)</source>
        <translation>Další (F3)</translation>
    </message>
    <message>
        <source>Close (Esc)</source>
        <translation>Zavřít (Esc)</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Nenalezeno</translation>
    </message>
</context>
<context>
    <name>TerminalWindow</name>
    <message>
        <source>Terminal</source>
        <translation>Terminál</translation>
    </message>
    <message>
        <source>Each line begins with its time and a prefix: &quot;+ &quot; received, &quot; - &quot; sent, &quot;E &quot; the program&apos;s own lines and filter matches. Blue: received and sent text; green: String 1 matches; light blue: String 2 matches and the connection&apos;s state; red: a gap (Freeze, Strict). Bytes that are not printable show as &lt;#0D&gt; (their value in hexadecimal) in black.</source>
        <translation>Každý řádek začíná časem a předponou: „+ “ přijato, „ - “ odesláno, „E “ vlastní řádky programu a shody s filtry. Modrá: přijatý a odeslaný text; zelená: shody s řetězcem 1; světle modrá: shody s řetězcem 2 a stav spojení; červená: mezera (Freeze, Strict). Netisknutelné bajty se ukazují jako &lt;#0D&gt; (hodnota šestnáctkově) černě.</translation>
    </message>
    <message>
        <source>Enter sends the line with a carriage return (CR) at its end; Ctrl+Z ends it with 0x1A instead (sends a text message typed after AT+CMGS), Esc with 0x1B (cancels it). Arrow Up or Down opens the lines sent before.</source>
        <translation>Enter odešle řádek s odřádkováním (CR) na konci; Ctrl+Z jej místo toho ukončí znakem 0x1A (odešle SMS napsanou po AT+CMGS), Esc znakem 0x1B (zruší ji). Šipka nahoru nebo dolů otevře dříve odeslané řádky.</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Odeslat</translation>
    </message>
    <message>
        <source>Send the line with its line end (CR, or Ctrl+Z / Esc as typed)</source>
        <translation>Odeslat s odřádkováním</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>Přímo</translation>
    </message>
    <message>
        <source>Send the line without a line end</source>
        <translation>Odeslat bez odřádkování</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Vymazat</translation>
    </message>
    <message>
        <source>Clear the display (the log keeps everything)</source>
        <translation>Vymazat historii</translation>
    </message>
    <message>
        <source>Undock window</source>
        <translation>Uvolnit okno</translation>
    </message>
    <message>
        <source>Undock the terminal window</source>
        <translation>Uvolnit okno terminálu</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Režim</translation>
    </message>
    <message>
        <source>&amp;History</source>
        <translation>&amp;Historie</translation>
    </message>
    <message>
        <source>Every line of the log, with find and filter (Ctrl+H)</source>
        <translation>Každý řádek logu, s hledáním a filtrem (Ctrl+H)</translation>
    </message>
</context>
<context>
    <name>TfrmCfgAdv</name>
    <message>
        <source>Advanced configuration</source>
        <translation>Rozšířené nastavení</translation>
    </message>
    <message>
        <source>Auto connect after start in </source>
        <translation>Po spuštění se připojit za </translation>
    </message>
    <message>
        <source>Make &quot;-- MARK --&quot; to log file every</source>
        <translation>Zapisovat „-- MARK --“ do logu každých</translation>
    </message>
    <message>
        <source>Automatic send of command</source>
        <translation>Automaticky odesílat příkaz</translation>
    </message>
    <message>
        <source>Create binary log</source>
        <translation>Vytvářet binární log</translation>
    </message>
    <message>
        <source>Make alarm sound if no data are received for</source>
        <translation>Spustit zvukový alarm, když nepřijdou data po dobu</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Zavřít</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Delay:</source>
        <translation>Interval:</translation>
    </message>
    <message>
        <source>Command:</source>
        <translation>Příkaz:</translation>
    </message>
    <message>
        <source>(CR will be added at the end)</source>
        <translation>(na konec se přidá CR)</translation>
    </message>
    <message>
        <source>CR</source>
        <translation>CR</translation>
    </message>
    <message>
        <source>LF</source>
        <translation>LF</translation>
    </message>
    <message>
        <source>CR LF</source>
        <translation>CR LF</translation>
    </message>
    <message>
        <source>What ends a line the module prints. CR: a carriage return (line feeds are dropped). LF: a line feed (carriage returns are dropped), for modules that end lines with LF only. CR LF: the pair; a carriage return or a line feed alone is shown as data. Sent lines always end with CR.</source>
        <translation>Čím končí řádek, který modul vypisuje. CR: návrat vozíku (odřádkování se zahodí). LF: odřádkování (návraty vozíku se zahodí), pro moduly, které končí řádky jen LF. CR LF: dvojice; samotný návrat vozíku nebo odřádkování se ukáže jako data. Odesílané řádky vždy končí CR.</translation>
    </message>
    <message>
        <source>Received lines end with:</source>
        <translation>Přijaté řádky končí:</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source> COM port parameters </source>
        <translation> Parametry COM portu </translation>
    </message>
    <message>
        <source>Parameters:</source>
        <translation>Parametry:</translation>
    </message>
    <message>
        <source>State:</source>
        <translation>Stav:</translation>
    </message>
    <message>
        <source>&amp;Config</source>
        <translation>&amp;Nastavit</translation>
    </message>
    <message>
        <source>&amp;Advanced ...</source>
        <translation>&amp;Rozšířené ...</translation>
    </message>
    <message>
        <source>Connect &amp;&amp; &amp;Start</source>
        <translation>Připojit &amp;&amp; &amp;spustit</translation>
    </message>
    <message>
        <source>C&amp;onnect</source>
        <translation>&amp;Připojit</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>&amp;Odpojit</translation>
    </message>
    <message>
        <source>Start command: (without CR at the end)</source>
        <translation>Spouštěcí příkaz: (bez CR na konci)</translation>
    </message>
    <message>
        <source>Set autostart on</source>
        <translation>Zapnout autostart</translation>
    </message>
    <message>
        <source> Filters </source>
        <translation> Filtry </translation>
    </message>
    <message>
        <source>String 1:</source>
        <translation>Řetězec 1:</translation>
    </message>
    <message>
        <source>String 2:</source>
        <translation>Řetězec 2:</translation>
    </message>
    <message>
        <source>Freeze</source>
        <translation>Zmrazit</translation>
    </message>
    <message>
        <source>Strict</source>
        <translation>Jen filtrované</translation>
    </message>
    <message>
        <source>A received line that begins with this text is shown %1 (letters a to z match in either case; blanks around the text do not count). Begin the text with % to find it anywhere in the line: %err marks every line that contains err. An empty box is off.</source>
        <translation>Přijatý řádek, který začíná tímto textem, se ukáže %1 (písmena a až z se shodují bez ohledu na velikost; mezery kolem textu se nepočítají). Začněte text znakem %, aby se hledal kdekoli v řádku: %err označí každý řádek, který obsahuje err. Prázdné pole je vypnuté.</translation>
    </message>
    <message>
        <source>in green</source>
        <translation>zeleně</translation>
    </message>
    <message>
        <source>in light blue</source>
        <translation>světle modře</translation>
    </message>
    <message>
        <source>A line that String 1 marks is not tried here.</source>
        <translation>Řádek označený řetězcem 1 se zde už nezkouší.</translation>
    </message>
    <message>
        <source>Shows and logs only the lines a filter marks; the others are kept out. Switched off, one red line says how many were kept out. Text not yet ended by a line end still shows.</source>
        <translation>Ukazuje a loguje jen řádky, které označí filtr; ostatní vynechá. Po vypnutí jeden červený řádek řekne, kolik jich bylo vynecháno. Text, který ještě nebyl ukončen koncem řádku, se ukazuje dál.</translation>
    </message>
    <message>
        <source>Stops showing and logging what arrives, until Run; then one red line says what was dropped. Sending goes on.</source>
        <translation>Přestane ukazovat a logovat, co přichází, až do Pokračovat; pak jeden červený řádek řekne, co se zahodilo. Odesílání běží dál.</translation>
    </message>
    <message>
        <source>The application on the module: &quot;Connect &amp; Start&quot; sends at^sjra= with this text, &quot;Set autostart on&quot; makes the module start it by itself</source>
        <translation>Aplikace v modulu: „Připojit &amp; spustit“ odešle at^sjra= s tímto textem, „Zapnout autostart“ nastaví modul, aby ji spouštěl sám</translation>
    </message>
    <message>
        <source> Send file </source>
        <translation> Odeslat soubor </translation>
    </message>
    <message>
        <source>Filename:</source>
        <translation>Soubor:</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Vybrat</translation>
    </message>
    <message>
        <source>S&amp;end</source>
        <translation>Od&amp;eslat</translation>
    </message>
    <message>
        <source>Select file to send</source>
        <translation>Vyberte soubor k odeslání</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Všechny soubory (*)</translation>
    </message>
    <message>
        <source>Terminal</source>
        <translation>Terminál</translation>
    </message>
    <message>
        <source>%1 is not a folder: the log goes to %2</source>
        <translation>%1 není složka: log se zapisuje do %2</translation>
    </message>
    <message>
        <source>%1 cannot be written: the log goes to %2</source>
        <translation>Do %1 nelze zapisovat: log se zapisuje do %2</translation>
    </message>
    <message>
        <source>Other programs cannot press Start and Disconnect: %1</source>
        <translation>Jiné programy nemohou stisknout Start a Odpojit: %1</translation>
    </message>
    <message>
        <source>Log: </source>
        <translation>Log: </translation>
    </message>
    <message>
        <source>The settings could not be saved. %1</source>
        <translation>Nastavení se nepodařilo uložit. %1</translation>
    </message>
    <message>
        <source>&amp;Freeze</source>
        <translation>&amp;Zmrazit</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>Po&amp;kračovat</translation>
    </message>
    <message>
        <source>COM port parameters</source>
        <translation>Parametry COM portu</translation>
    </message>
    <message>
        <source>Control socket: %1, since %2 at %3; dralvo-msg --name %4 reaches it</source>
        <translation>Řídicí socket: %1, protože %2 v %3; dralvo-msg --name %4 jej zastihne</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hexa</translation>
    </message>
    <message>
        <source>Shows received text in hexadecimal (the log keeps it as text)</source>
        <translation>Ukazuje přijatý text šestnáctkově (log jej zapisuje jako text)</translation>
    </message>
    <message>
        <source>UTF-8</source>
        <translation>UTF-8</translation>
    </message>
    <message>
        <source>Shows UTF-8 characters in received lines as text instead of &lt;#C3&gt;&lt;#A1&gt; (the log keeps the escapes)</source>
        <translation>Ukazuje znaky UTF-8 v přijatých řádcích jako text místo &lt;#C3&gt;&lt;#A1&gt; (log si ponechá kódy)</translation>
    </message>
    <message>
        <source>(nothing to send: Edit ... gives the button a text)</source>
        <translation>(nic k odeslání: text tlačítku dá Upravit ...)</translation>
    </message>
</context>
<context>
    <name>TfrmQuickSend</name>
    <message>
        <source>Quick-send buttons and reactions</source>
        <translation>Tlačítka rychlého odesílání a reakce</translation>
    </message>
    <message>
        <source>What the button shows (at most %1 characters)</source>
        <translation>Co tlačítko ukazuje (nejvýš %1 znaků)</translation>
    </message>
    <message>
        <source>One line to send (CR is added), or a sequence, one step a line:
AT+CSQ          a line sent with CR
hex 41 54 0D    bytes in hexadecimal
wait 500        a pause in milliseconds
expect OK 2000  wait for a received line that contains OK, at most 2000 ms;
                /REGEX/ instead of OK for a regular expression
send wait       a line that begins with a step&apos;s word
# comment       skipped, as are empty lines</source>
        <translation>Jeden řádek k odeslání (přidá se CR), nebo sekvence, jeden krok na řádek:
AT+CSQ          řádek odeslaný s CR
hex 41 54 0D    bajty šestnáctkově
wait 500        pauza v milisekundách
expect OK 2000  čekat na přijatý řádek, který obsahuje OK, nejvýš 2000 ms;
                /REGEX/ místo OK pro regulární výraz
send wait       řádek, který začíná slovem kroku
# komentář      přeskočí se, stejně jako prázdné řádky</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Přidat</translation>
    </message>
    <message>
        <source>De&amp;lete</source>
        <translation>&amp;Smazat</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>&amp;Nahoru</translation>
    </message>
    <message>
        <source>Do&amp;wn</source>
        <translation>&amp;Dolů</translation>
    </message>
    <message>
        <source>&amp;Import ...</source>
        <translation>&amp;Importovat ...</translation>
    </message>
    <message>
        <source>E&amp;xport ...</source>
        <translation>&amp;Exportovat ...</translation>
    </message>
    <message>
        <source>Replaces the buttons by those of a macro file</source>
        <translation>Nahradí tlačítka tlačítky ze souboru maker</translation>
    </message>
    <message>
        <source>Writes the buttons into a macro file</source>
        <translation>Zapíše tlačítka do souboru maker</translation>
    </message>
    <message>
        <source>&amp;Label:</source>
        <translation>P&amp;opis:</translation>
    </message>
    <message>
        <source>One rule a line, tried in this order on every received line:
TEXT =&gt; ACTION  or  /REGEX/ =&gt; ACTION, ACTION being mark TEXT, alarm, send LINE or run BUTTON;
&quot;, every N s&quot; at the end lets it fire at most once in N seconds (and never more than once a second). For example:
/Exception/ =&gt; mark Java trouble
RING =&gt; send ATA, every 10 s</source>
        <translation>Jedno pravidlo na řádek, zkoušejí se v tomto pořadí na každý přijatý řádek:
TEXT =&gt; AKCE  nebo  /REGEX/ =&gt; AKCE, kde AKCE je mark TEXT, alarm, send ŘÁDEK nebo run TLAČÍTKO;
„, every N s“ na konci je nechá zasáhnout nejvýš jednou za N sekund (a nikdy víc než jednou za sekundu). Například:
/Exception/ =&gt; mark Java trouble
RING =&gt; send ATA, every 10 s</translation>
    </message>
    <message>
        <source>&amp;Buttons (F1 to F12)</source>
        <translation>&amp;Tlačítka (F1 až F12)</translation>
    </message>
    <message>
        <source>&amp;Reactions</source>
        <translation>&amp;Reakce</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Zrušit</translation>
    </message>
    <message>
        <source>At most %1 buttons</source>
        <translation>Nejvýš %1 tlačítek</translation>
    </message>
    <message>
        <source>Import quick-send buttons</source>
        <translation>Importovat tlačítka rychlého odesílání</translation>
    </message>
    <message>
        <source>Macro files (*.txt *.macros);;All files (*)</source>
        <translation>Soubory maker (*.txt *.macros);;Všechny soubory (*)</translation>
    </message>
    <message>
        <source>Export quick-send buttons</source>
        <translation>Exportovat tlačítka rychlého odesílání</translation>
    </message>
    <message>
        <source>Reactions, line %1: %2</source>
        <translation>Reakce, řádek %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a file</source>
        <translation>%1 není soubor</translation>
    </message>
    <message>
        <source>%1 has %2 bytes; a macro file has at most %3</source>
        <translation>%1 má %2 bajtů; soubor maker má nejvýš %3</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>%1 nelze přečíst: %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Nothing imported. %1</source>
        <translation>Nic neimportováno. %1</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>Do %1 nelze zapisovat: %2</translation>
    </message>
</context>
<context>
    <name>VOxaAppInfo</name>
    <message>
        <source>The settings file %1 could not be read (%2). It was moved to %3; the default settings are used and a fresh file is written when Dralvo closes.</source>
        <translation>Soubor nastavení %1 nelze přečíst (%2). Byl přesunut do %3; použije se výchozí nastavení a při zavření Dralva se zapíše nový soubor.</translation>
    </message>
    <message>
        <source>The settings file %1 could not be read (%2); the default settings are used and changes cannot be saved.</source>
        <translation>Soubor nastavení %1 nelze přečíst (%2); použije se výchozí nastavení a změny nelze uložit.</translation>
    </message>
    <message>
        <source>Settings file %1: %2.</source>
        <translation>Soubor nastavení %1: %2.</translation>
    </message>
    <message>
        <source>The settings file %1 is read-only; changes will not be saved.</source>
        <translation>Soubor nastavení %1 je jen pro čtení; změny se neuloží.</translation>
    </message>
</context>
<context>
    <name>VOxaLogger</name>
    <message>
        <source>another file took the name of the log file</source>
        <translation>jméno souboru logu převzal jiný soubor</translation>
    </message>
    <message>
        <source>the log file was deleted or moved away</source>
        <translation>soubor logu byl smazán nebo přesunut</translation>
    </message>
</context>
<context>
    <name>app</name>
    <message>
        <source>File not found</source>
        <translation>Soubor nenalezen</translation>
    </message>
    <message>
        <source>Invalid filename</source>
        <translation>Neplatné jméno souboru</translation>
    </message>
    <message>
        <source>Too many open files</source>
        <translation>Příliš mnoho otevřených souborů</translation>
    </message>
    <message>
        <source>File access denied</source>
        <translation>Přístup k souboru odepřen</translation>
    </message>
    <message>
        <source>Read beyond end of file</source>
        <translation>Čtení za koncem souboru</translation>
    </message>
    <message>
        <source>Disk full</source>
        <translation>Disk je plný</translation>
    </message>
    <message>
        <source>I/O error %1</source>
        <translation>Chyba vstupu/výstupu %1</translation>
    </message>
</context>
<context>
    <name>app::ControlVerbs</name>
    <message>
        <source>request longer than %1 bytes</source>
        <translation>požadavek delší než %1 bajtů</translation>
    </message>
    <message>
        <source>%1 needs its argument</source>
        <translation>%1 potřebuje svůj argument</translation>
    </message>
    <message>
        <source>cannot read &apos;%1&apos;; requests: a message number, %2</source>
        <translation>&apos;%1&apos; nelze přečíst; požadavky: číslo zprávy, %2</translation>
    </message>
    <message>
        <source>no bytes to send</source>
        <translation>žádné bajty k odeslání</translation>
    </message>
    <message>
        <source>the expression &apos;%1&apos; is not valid: %2 at %3</source>
        <translation>výraz &apos;%1&apos; není platný: %2 na pozici %3</translation>
    </message>
</context>
<context>
    <name>app::Desk</name>
    <message>
        <source>%1: step %2 of %3: %4</source>
        <translation>%1: krok %2 z %3: %4</translation>
    </message>
    <message>
        <source>%1: done</source>
        <translation>%1: hotovo</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Button %1</source>
        <translation>Tlačítko %1</translation>
    </message>
    <message>
        <source>Reactions, line %1: %2</source>
        <translation>Reakce, řádek %1: %2</translation>
    </message>
</context>
<context>
    <name>app::Session</name>
    <message>
        <source>Idle.</source>
        <translation>Nečinný.</translation>
    </message>
    <message>
        <source>Trying to open COM port ...</source>
        <translation>Zkouším otevřít COM port ...</translation>
    </message>
    <message>
        <source>Sending command ...</source>
        <translation>Odesílám příkaz ...</translation>
    </message>
    <message>
        <source>Ready.</source>
        <translation>Připraven.</translation>
    </message>
    <message>
        <source>Disconnecting ...</source>
        <translation>Odpojuji ...</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Selhalo</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Odpojeno</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Připojeno</translation>
    </message>
    <message>
        <source>First</source>
        <translation>První</translation>
    </message>
    <message>
        <source>Cannot write the log %1: %2</source>
        <translation>Do logu %1 nelze zapisovat: %2</translation>
    </message>
    <message>
        <source>%1; logging goes on in a new %2</source>
        <translation>%1; logování pokračuje v novém %2</translation>
    </message>
    <message>
        <source>Logging again to %1</source>
        <translation>Znovu loguji do %1</translation>
    </message>
    <message>
        <source>%1 answered OK</source>
        <translation>%1: modul odpověděl OK</translation>
    </message>
    <message>
        <source>%1 answered ERROR</source>
        <translation>%1: modul odpověděl ERROR</translation>
    </message>
    <message>
        <source>No answer to %1 within %2 s</source>
        <translation>Na %1 nepřišla do %2 s odpověď</translation>
    </message>
    <message>
        <source> (Port: %1, Speed: %2)</source>
        <translation> (Port: %1, rychlost: %2)</translation>
    </message>
</context>
<context>
    <name>history::HistoryModel</name>
    <message>
        <source>%1 cannot be opened: %2</source>
        <translation>%1 nelze otevřít: %2</translation>
    </message>
    <message>
        <source>%1 was deleted; what was read stays shown.</source>
        <translation>%1 byl smazán; co se přečetlo, zůstává vidět.</translation>
    </message>
    <message>
        <source>%1 was replaced (or rotated); the new file is shown.</source>
        <translation>%1 byl nahrazen (nebo zrotován); ukazuje se nový soubor.</translation>
    </message>
    <message>
        <source>%1 was truncated; it is read anew.</source>
        <translation>%1 byl zkrácen; čte se znovu.</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>%1 nelze přečíst: %2</translation>
    </message>
    <message>
        <source>%1 ends in the middle of a record (no line break after its last line).</source>
        <translation>%1 končí uprostřed záznamu (za posledním řádkem není konec řádku).</translation>
    </message>
    <message>
        <source>%1 bytes on their way to the disk are not shown</source>
        <translation>%1 bajtů na cestě na disk se neukazuje</translation>
    </message>
    <message>
        <source>%1 has more lines than the filter can number; only the first %L2 lines are filtered.</source>
        <translation>%1 má více řádků, než filtr dokáže očíslovat; filtruje se jen prvních %L2 řádků.</translation>
    </message>
    <message>
        <source>Only the first %L1 rows can be shown; the %L2 after them are out of the view&apos;s reach.</source>
        <translation>Ukázat lze jen prvních %L1 řádků; dalších %L2 je mimo dosah zobrazení.</translation>
    </message>
</context>
<context>
    <name>history::HistoryView</name>
    <message>
        <source>… %1 more bytes</source>
        <translation>… dalších %1 bajtů</translation>
    </message>
    <message>
        <source>Only the first %1 MB of the selection were copied.</source>
        <translation>Zkopírovalo se jen prvních %1 MB výběru.</translation>
    </message>
</context>
<context>
    <name>history::HistoryWindow</name>
    <message>
        <source>Filter: text or regular expression</source>
        <translation>Filtr: text nebo regulární výraz</translation>
    </message>
    <message>
        <source>Re&amp;gex</source>
        <translation>Re&amp;gex</translation>
    </message>
    <message>
        <source>Match &amp;case</source>
        <translation>&amp;Velikost písmen</translation>
    </message>
    <message>
        <source>&amp;Only matching lines</source>
        <translation>&amp;Jen odpovídající řádky</translation>
    </message>
    <message>
        <source>&amp;Main window&apos;s filters</source>
        <translation>Filtry &amp;hlavního okna</translation>
    </message>
    <message>
        <source>Filter by String 1 and String 2 of the main window</source>
        <translation>Filtrovat podle řetězců 1 a 2 hlavního okna</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Zrušit</translation>
    </message>
    <message>
        <source>O&amp;pen log…</source>
        <translation>&amp;Otevřít log…</translation>
    </message>
    <message>
        <source>String 1: %1   String 2: %2</source>
        <translation>Řetězec 1: %1   Řetězec 2: %2</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historie</translation>
    </message>
    <message>
        <source>History — %1</source>
        <translation>Historie — %1</translation>
    </message>
    <message>
        <source>Not used: %1 (at position %2); the last good filter stays.</source>
        <translation>Nepoužito: %1 (na pozici %2); platí poslední dobrý filtr.</translation>
    </message>
    <message>
        <source>Not used: %1; the last good filter stays.</source>
        <translation>Nepoužito: %1; platí poslední dobrý filtr.</translation>
    </message>
    <message>
        <source>Not used:</source>
        <translation>Nepoužito:</translation>
    </message>
    <message>
        <source>%L1 matching lines</source>
        <translation>Odpovídajících řádků: %L1</translation>
    </message>
    <message>
        <source> (%1 %)</source>
        <translation> (%1 %)</translation>
    </message>
    <message>
        <source>%L1 lines</source>
        <translation>Řádků: %L1</translation>
    </message>
    <message>
        <source>, reading %1 %</source>
        <translation>, čtu %1 %</translation>
    </message>
    <message>
        <source>Open a log</source>
        <translation>Otevřít log</translation>
    </message>
    <message>
        <source>Logs (*.log);;All files (*)</source>
        <translation>Logy (*.log);;Všechny soubory (*)</translation>
    </message>
</context>
<context>
    <name>history::LineMatcher</name>
    <message>
        <source>&quot;%1&quot; does not occur in a log: its bytes are Latin-1 characters</source>
        <translation>„%1“ se v logu nevyskytuje: jeho bajty jsou znaky Latin-1</translation>
    </message>
</context>
<context>
    <name>macros</name>
    <message>
        <source>Button %1</source>
        <translation>Tlačítko %1</translation>
    </message>
    <message>
        <source>Button %1 (%2)</source>
        <translation>Tlačítko %1 (%2)</translation>
    </message>
    <message>
        <source>%1: the label has %2 characters, at most %3</source>
        <translation>%1: popis má %2 znaků, nejvýš %3</translation>
    </message>
    <message>
        <source>%1: the label is one line</source>
        <translation>%1: popis je jeden řádek</translation>
    </message>
    <message>
        <source>%1: the text has %2 characters, at most %3</source>
        <translation>%1: text má %2 znaků, nejvýš %3</translation>
    </message>
    <message>
        <source>%1, line %2: %3</source>
        <translation>%1, řádek %2: %3</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>Řádek %1: %2</translation>
    </message>
    <message>
        <source>The file has %1 bytes; a macro file has at most %2</source>
        <translation>Soubor má %1 bajtů; soubor maker má nejvýš %2</translation>
    </message>
    <message>
        <source>the file is not text (byte 0x%1)</source>
        <translation>soubor není text (bajt 0x%1)</translation>
    </message>
    <message>
        <source>The file is not text (not UTF-8)</source>
        <translation>Soubor není text (není v UTF-8)</translation>
    </message>
    <message>
        <source>more than %1 buttons</source>
        <translation>víc než %1 tlačítek</translation>
    </message>
    <message>
        <source>a macro file begins with &quot;@button LABEL&quot;</source>
        <translation>soubor maker začíná „@button POPIS“</translation>
    </message>
    <message>
        <source>the file ends without its &quot;@end&quot; line (cut short?)</source>
        <translation>soubor končí bez řádku „@end“ (useknutý?)</translation>
    </message>
    <message>
        <source>&quot;every&quot; takes seconds: &quot;, every 10 s&quot;</source>
        <translation>„every“ bere sekundy: „, every 10 s“</translation>
    </message>
    <message>
        <source>&quot;every %1s&quot; is not 0 to 86400 seconds</source>
        <translation>„every %1s“ není 0 až 86400 sekund</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no action: mark TEXT, alarm, send LINE or run BUTTON</source>
        <translation>„%1“ není akce: mark TEXT, alarm, send ŘÁDEK nebo run TLAČÍTKO</translation>
    </message>
    <message>
        <source>run needs the label of a button</source>
        <translation>run potřebuje popis tlačítka</translation>
    </message>
    <message>
        <source>the character “%1” cannot be sent (outside Latin-1)</source>
        <translation>znak „%1“ nelze odeslat (mimo Latin-1)</translation>
    </message>
    <message>
        <source>the line has %1 characters, at most %2</source>
        <translation>řádek má %1 znaků, nejvýš %2</translation>
    </message>
    <message>
        <source>a rule is TEXT =&gt; ACTION, for example: /Exception/ =&gt; mark trouble</source>
        <translation>pravidlo je TEXT =&gt; AKCE, například: /Exception/ =&gt; mark trouble</translation>
    </message>
    <message>
        <source>the regular expression // is empty</source>
        <translation>regulární výraz // je prázdný</translation>
    </message>
    <message>
        <source>the regular expression %1 does not compile: %2 (at %3)</source>
        <translation>regulární výraz %1 nelze přeložit: %2 (na pozici %3)</translation>
    </message>
    <message>
        <source>more than %1 rules</source>
        <translation>víc než %1 pravidel</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number of milliseconds</source>
        <translation>„%1“ není počet milisekund</translation>
    </message>
    <message>
        <source>%1 ms is outside %2 to %3 ms</source>
        <translation>%1 ms je mimo %2 až %3 ms</translation>
    </message>
    <message>
        <source>hex needs at least one byte (two hexadecimal digits)</source>
        <translation>hex potřebuje aspoň jeden bajt (dvě šestnáctkové číslice)</translation>
    </message>
    <message>
        <source>“%1” is not a hexadecimal digit</source>
        <translation>„%1“ není šestnáctková číslice</translation>
    </message>
    <message>
        <source>hex takes bytes as pairs of digits (an odd number of digits)</source>
        <translation>hex bere bajty jako dvojice číslic (lichý počet číslic)</translation>
    </message>
    <message>
        <source>expect needs a text and a time-out: expect OK 2000</source>
        <translation>expect potřebuje text a časový limit: expect OK 2000</translation>
    </message>
    <message>
        <source>the regular expression /%1/ does not compile: %2 (at %3)</source>
        <translation>regulární výraz /%1/ nelze přeložit: %2 (na pozici %3)</translation>
    </message>
    <message>
        <source>a regular expression ends with / as it begins: /%1/</source>
        <translation>regulární výraz končí znakem /, jak začíná: /%1/</translation>
    </message>
    <message>
        <source>send %1</source>
        <translation>odeslat %1</translation>
    </message>
    <message>
        <source>send hex %1</source>
        <translation>odeslat hexa %1</translation>
    </message>
    <message>
        <source>wait %1 ms</source>
        <translation>čekat %1 ms</translation>
    </message>
    <message>
        <source>expect %1 (%2 ms)</source>
        <translation>očekávat %1 (%2 ms)</translation>
    </message>
    <message>
        <source>wait needs a time in milliseconds: wait 500</source>
        <translation>wait potřebuje čas v milisekundách: wait 500</translation>
    </message>
    <message>
        <source>more than %1 steps</source>
        <translation>víc než %1 kroků</translation>
    </message>
    <message>
        <source>stopped at step %1 of %2</source>
        <translation>zastaveno v kroku %1 z %2</translation>
    </message>
    <message>
        <source>step %1 (line %2): no line with %3 within %4 ms</source>
        <translation>krok %1 (řádek %2): do %4 ms nepřišel řádek s %3</translation>
    </message>
</context>
<context>
    <name>terminal</name>
    <message>
        <source>Nothing sent: the digit &quot;%1&quot; at position %2 of the hex line stands alone; write every byte as two digits (0%1).</source>
        <translation>Nic neodesláno: číslice „%1“ na pozici %2 hexa řádku stojí sama; pište každý bajt dvěma číslicemi (0%1).</translation>
    </message>
    <message>
        <source>Nothing sent: &quot;%1&quot; at position %2 of the hex line is not a hexadecimal digit (0-9, A-F).</source>
        <translation>Nic neodesláno: „%1“ na pozici %2 hexa řádku není šestnáctková číslice (0-9, A-F).</translation>
    </message>
    <message>
        <source>Nothing sent: the line has %1 characters, at most %2 are sent at once. Use &quot;Send file&quot; for more.</source>
        <translation>Nic neodesláno: řádek má %1 znaků, najednou se jich odešle nejvýš %2. Na víc použijte „Odeslat soubor“.</translation>
    </message>
    <message>
        <source>The character “%1” (U+%2) cannot be sent (it is outside the Latin-1 code page).</source>
        <translation>Znak „%1“ (U+%2) nelze odeslat (mimo kódovou stránku Latin-1).</translation>
    </message>
</context>
</TS>
