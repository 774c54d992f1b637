<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it">
<context>
    <name>AvailableChannelsModel</name>
    <message>
        <source>Etichetta Canale</source>
        <translation>Channel label</translation>
    </message>
    <message>
        <source>Indice</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>Freq. Sel. (Hz)</source>
        <translation>Sel. freq. (Hz)</translation>
    </message>
    <message>
        <source>Freq. Tipica (Hz)</source>
        <translation>Typical freq. (Hz)</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Descrizione</source>
        <translation>Description</translation>
    </message>
</context>
<context>
    <name>ChannelSettingsDialog</name>
    <message>
        <source>Etichetta canale</source>
        <translation>Channel label</translation>
    </message>
    <message>
        <source>Frequenza di campionamento</source>
        <translation>Sampling frequency</translation>
    </message>
    <message>
        <source>Unita&apos; di misura</source>
        <translation>Unit of measure</translation>
    </message>
    <message>
        <source>Risoluzione in bits :</source>
        <translation>Resolution in bits :</translation>
    </message>
    <message>
        <source>Azzerabile</source>
        <translation>Zeroable</translation>
    </message>
    <message>
        <source>Zero :</source>
        <translation>Zero :</translation>
    </message>
    <message>
        <source>Calibrazioni</source>
        <translation>Calibrations</translation>
    </message>
    <message>
        <source>da Bin. a Ing.</source>
        <translation>Bin. to Eng.</translation>
    </message>
    <message>
        <source>da Ing. a Bin.</source>
        <translation>Eng. to Bin.</translation>
    </message>
    <message>
        <source>Conversione</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Calibrazione non valida: G1 e O2 devono essere diversi da 0 e nessun coefficiente puo&apos; restare vuoto.</source>
        <translation>Invalid calibration: G1 and O2 must not be 0 and no coefficient may be left empty.</translation>
    </message>
</context>
<context>
    <name>ChannelsSelection</name>
    <message>
        <source>Device : </source>
        <translation>Device : </translation>
    </message>
    <message>
        <source>&lt;Percorso device&gt;</source>
        <translation>&lt;Device path&gt;</translation>
    </message>
    <message>
        <source>Seriale ECU : </source>
        <translation>ECU serial : </translation>
    </message>
    <message>
        <source>Canali disponibili</source>
        <translation>Available channels</translation>
    </message>
    <message>
        <source>Doppio click o Enter sul canale per aggiungerlo</source>
        <translation>Double click or Enter on the channel to add it</translation>
    </message>
    <message>
        <source>Ricerca :</source>
        <translation>Search :</translation>
    </message>
    <message>
        <source>Frequenze disponibili :</source>
        <translation>Available frequencies :</translation>
    </message>
    <message>
        <source>Aggiungi</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Rimuovi</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Canali selezionati</source>
        <translation>Selected channels</translation>
    </message>
    <message>
        <source>Doppio click o Enter sul canale per le modifiche</source>
        <translation>Double click or Enter on the channel to edit it</translation>
    </message>
    <message>
        <source>Tempo massimo di acquisizione : </source>
        <translation>Maximum acquisition time : </translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Memoria usata % :</source>
        <translation>Memory used % :</translation>
    </message>
    <message>
        <source>T. trascorso / T. residuo :</source>
        <translation>Elapsed / remaining time :</translation>
    </message>
    <message>
        <source>Stima download :</source>
        <translation>Download estimate :</translation>
    </message>
    <message>
        <source>Trigger</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <source>Disabilitato</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>Continuo</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>Int. Esterno</source>
        <translation>Ext. switch</translation>
    </message>
    <message>
        <source>Int. Canale</source>
        <translation>Channel switch</translation>
    </message>
    <message>
        <source>Unita&apos; : secondi</source>
        <translation>Unit : seconds</translation>
    </message>
    <message>
        <source>Tipo Trigger</source>
        <translation>Trigger type</translation>
    </message>
    <message>
        <source>Selezione Canale</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Soglia Minima</source>
        <translation>Low threshold</translation>
    </message>
    <message>
        <source>Soglia Massima</source>
        <translation>High threshold</translation>
    </message>
    <message>
        <source>Ritardo attivazione (s)</source>
        <translation>Activation delay (s)</translation>
    </message>
    <message>
        <source>Non è possibile visualizzare questi canali della configurazione ECU,
perchè nel device corrente non hanno abilitata la funzionalità di logger :</source>
        <translation>These channels of the ECU configuration cannot be shown,
because the logger function is not enabled for them in the current device :</translation>
    </message>
    <message>
        <source>E&apos; stato raggiunto il numero massimo di variabili campionabili!!!</source>
        <translation>The maximum number of loggable channels has been reached!!!</translation>
    </message>
    <message>
        <source>Le variabili con dimensione maggiore di 16 bits,
non sono attualmente supportate dal firmware della ECU!!!</source>
        <translation>Variables wider than 16 bits
are not supported by the ECU firmware yet!!!</translation>
    </message>
    <message>
        <source>Non c&apos;e&apos; spazio per il canale a nessuna frequenza di campionamento!!!</source>
        <translation>There is no room for the channel at any sampling frequency!!!</translation>
    </message>
    <message>
        <source>Il canale che si sta cancellando, e&apos; impostato come trigger!!!
Continuare comunque???</source>
        <translation>The channel being removed is set as trigger!!!
Continue anyway???</translation>
    </message>
    <message>
        <source>Impostazioni...</source>
        <translation>Settings...</translation>
    </message>
</context>
<context>
    <name>CommSetup</name>
    <message>
        <source>Seriale ECU : </source>
        <translation>ECU serial : </translation>
    </message>
    <message>
        <source>locale</source>
        <translation>local</translation>
    </message>
    <message>
        <source>nessuna</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Server :</source>
        <translation>Server :</translation>
    </message>
    <message>
        <source>Interfaccia Ethernet :</source>
        <translation>Ethernet interface :</translation>
    </message>
    <message>
        <source>Impossibile aprire l&apos;interfaccia %1: servono i permessi di root o la capacità CAP_NET_RAW.
Avviare Brisca come root, oppure concedere una volta i permessi al programma:
setcap cap_net_raw,cap_net_admin+eip %2</source>
        <translation>Cannot open the interface %1: root rights or the CAP_NET_RAW capability are needed.
Start Brisca as root, or grant the program the rights once:
setcap cap_net_raw,cap_net_admin+eip %2</translation>
    </message>
    <message>
        <source>Impossibile aprire l&apos;interfaccia %1: %2</source>
        <translation>Cannot open the interface %1: %2</translation>
    </message>
    <message>
        <source>Nessuna ECU trovata</source>
        <translation>No ECU found</translation>
    </message>
</context>
<context>
    <name>DialogAboutProgram</name>
    <message>
        <source>Version : </source>
        <translation>Version : </translation>
    </message>
</context>
<context>
    <name>DialogChangeServer</name>
    <message>
        <source>Questo PC</source>
        <translation>This PC</translation>
    </message>
    <message>
        <source>Assegna IP</source>
        <translation>Assign IP</translation>
    </message>
    <message>
        <source>Selezione server :</source>
        <translation>Server selection :</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Indirizzo IP non valido!!!</source>
        <translation>Invalid IP address!!!</translation>
    </message>
</context>
<context>
    <name>DialogDataOptions</name>
    <message>
        <source>Scelta directory...</source>
        <translation>Choose directory...</translation>
    </message>
    <message>
        <source>Opzioni</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Opzioni generali</source>
        <translation>General options</translation>
    </message>
    <message>
        <source>Cancellazione dati in ECU dopo il download</source>
        <translation>Clear ECU data after the download</translation>
    </message>
    <message>
        <source>Percorso devices</source>
        <translation>Devices folder</translation>
    </message>
    <message>
        <source>Formato di default</source>
        <translation>Default format</translation>
    </message>
    <message>
        <source>Percorso di default</source>
        <translation>Default folder</translation>
    </message>
    <message>
        <source>Formato nome file</source>
        <translation>File name format</translation>
    </message>
    <message>
        <source>Data_Ora</source>
        <translation>Date_Time</translation>
    </message>
    <message>
        <source>Data_Ora_Descrizione</source>
        <translation>Date_Time_Description</translation>
    </message>
    <message>
        <source>Descrizione (Es. pilota) :</source>
        <translation>Description (e.g. driver) :</translation>
    </message>
    <message>
        <source>Autore :</source>
        <translation>Author :</translation>
    </message>
    <message>
        <source>Azienda :</source>
        <translation>Organization :</translation>
    </message>
    <message>
        <source>Descrizione_Progressivo</source>
        <translation>Description_Counter</translation>
    </message>
    <message>
        <source>Progressivo</source>
        <translation>Counter</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogSelectECUFromList</name>
    <message>
        <source>Indirizzo MAC ECU</source>
        <translation>ECU MAC address</translation>
    </message>
    <message>
        <source>Descrizione ECU</source>
        <translation>ECU description</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogSelectEthInterface</name>
    <message>
        <source>Selezione interfaccia Ethernet :</source>
        <translation>Ethernet interface selection :</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogSelectionDevice</name>
    <message>
        <source>Seleziona Device</source>
        <translation>Select Device</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Altri device</source>
        <translation>Other devices</translation>
    </message>
</context>
<context>
    <name>EventPage</name>
    <message>
        <source>Nuovo evento</source>
        <translation>New event</translation>
    </message>
    <message>
        <source>Cancella evento</source>
        <translation>Delete event</translation>
    </message>
    <message>
        <source>Questa directory non contiene eventi!
Aggiungere un evento!</source>
        <translation>This folder holds no events!
Add an event!</translation>
    </message>
    <message>
        <source>Deve esistere almeno un evento nella directory dei dati.</source>
        <translation>At least one event must exist in the data folder.</translation>
    </message>
    <message>
        <source>Stai per cancellare l&apos;evento :</source>
        <translation>You are about to delete the event: </translation>
    </message>
    <message>
        <source>
Vuoi procedere?</source>
        <translation>
Do you want to go on?</translation>
    </message>
    <message>
        <source>Evento corrente :</source>
        <translation>Current event:</translation>
    </message>
    <message>
        <source>Nome Misura</source>
        <translation>Measurement name</translation>
    </message>
</context>
<context>
    <name>LoggerThread</name>
    <message>
        <source>Errore interno, LoggerThread::run() - </source>
        <translation>Internal error, LoggerThread::run() - </translation>
    </message>
    <message>
        <source>Connessione al server non effettuata o LNKClientDll.dll mancante! - </source>
        <translation>No connection to the server, or LNKClientDll.dll missing! - </translation>
    </message>
    <message>
        <source>Scaduto il timeout della richiesta di interruzione della sessione logger! - </source>
        <translation>Timeout of the request to stop the logger session! - </translation>
    </message>
    <message>
        <source>Configurazione logger in ECU non ricevuta correttamente! - </source>
        <translation>Logger configuration in the ECU not received correctly! - </translation>
    </message>
    <message>
        <source>Checksum errata! - </source>
        <translation>Wrong checksum! - </translation>
    </message>
    <message>
        <source>Scaduto il timeout per la cancellazione della memoria flash! - </source>
        <translation>Timeout while erasing the flash memory! - </translation>
    </message>
    <message>
        <source>Connessione alla ECU via Ethernet, non effettuata!!! - </source>
        <translation>No Ethernet connection to the ECU!!! - </translation>
    </message>
    <message>
        <source>Attenzione!!! Correggere nel database la dimensione delle seguenti variabili :</source>
        <translation>Warning!!! Correct the size of the following variables in the database :</translation>
    </message>
    <message>
        <source>Lock del server non riuscito nel tempo previsto - </source>
        <translation>Server lock not obtained in the expected time - </translation>
    </message>
    <message>
        <source>Errore nella lettura della configurazione e della memoria logger
</source>
        <translation>Error reading the logger configuration and memory
</translation>
    </message>
    <message>
        <source>Dati logger della memoria ECU non ricevuti! - </source>
        <translation>Logger data of the ECU memory not received! - </translation>
    </message>
    <message>
        <source>Attenzione!!!
</source>
        <translation>Warning!!!
</translation>
    </message>
    <message>
        <source>Memoria ECU vuota, dati non presenti! - </source>
        <translation>ECU memory empty, no data present! - </translation>
    </message>
    <message>
        <source>Errore nei parametri di stato del logger
</source>
        <translation>Error in the logger state parameters
</translation>
    </message>
    <message>
        <source>Valore non valido degli indici per il salvataggio dei dati  (FlashFR &gt; FlashFW) - </source>
        <translation>Invalid value of the data storage indexes  (FlashFR &gt; FlashFW) - </translation>
    </message>
    <message>
        <source>Checksum errata, nella modalità tabella statica! - </source>
        <translation>Wrong checksum, in static table mode! - </translation>
    </message>
    <message>
        <source>Configurazione inviata con successo!!!</source>
        <translation>Configuration sent successfully!!!</translation>
    </message>
    <message>
        <source>Errore nell&apos;invio della configurazione
</source>
        <translation>Error sending the configuration
</translation>
    </message>
    <message>
        <source>Lettura della memoria logger,
effetuata con successo!!!</source>
        <translation>Logger memory read
successfully!!!</translation>
    </message>
    <message>
        <source>Lettura della configurazione del logger,
effetuata con successo!!!</source>
        <translation>Logger configuration read
successfully!!!</translation>
    </message>
    <message>
        <source>Errore nella lettura della configurazione logger
</source>
        <translation>Error reading the logger configuration
</translation>
    </message>
    <message>
        <source>Impostazioni canali inviate con successo!!!</source>
        <translation>Channel settings sent successfully!!!</translation>
    </message>
    <message>
        <source>Errore nell&apos;invio delle impostazioni canali
</source>
        <translation>Error sending the channel settings
</translation>
    </message>
    <message>
        <source>Cancellazione memoria logger,
effetuata con successo!!!</source>
        <translation>Logger memory erased
successfully!!!</translation>
    </message>
    <message>
        <source>ECU collegata e pronta per il download! - </source>
        <translation>ECU connected and ready for the download! - </translation>
    </message>
    <message>
        <source>Byte ricevuti dalla memoria logger: %1</source>
        <translation>Bytes received from the logger memory: %1</translation>
    </message>
    <message>
        <source>File dump: %1</source>
        <translation>Dump file: %1</translation>
    </message>
    <message>
        <source>File dump non salvato!</source>
        <translation>Dump file not saved!</translation>
    </message>
</context>
<context>
    <name>MainAppl</name>
    <message>
        <source>Brisca</source>
        <translation>Brisca</translation>
    </message>
    <message>
        <source>Seleziona Device</source>
        <translation>Select Device</translation>
    </message>
    <message>
        <source>Nuova configurazione</source>
        <translation>New configuration</translation>
    </message>
    <message>
        <source>Apri configurazione</source>
        <translation>Open configuration</translation>
    </message>
    <message>
        <source>Salva configurazione</source>
        <translation>Save configuration</translation>
    </message>
    <message>
        <source>Impostazione 0 canali</source>
        <translation>Set channels to 0</translation>
    </message>
    <message>
        <source>Invia configurazione</source>
        <translation>Send configuration</translation>
    </message>
    <message>
        <source>Ricevi configurazione</source>
        <translation>Receive configuration</translation>
    </message>
    <message>
        <source>Ricevi dati</source>
        <translation>Receive data</translation>
    </message>
    <message>
        <source>Ricevi dati - pitlane</source>
        <translation>Receive data - pit lane</translation>
    </message>
    <message>
        <source>Informazioni su </source>
        <translation>About </translation>
    </message>
    <message>
        <source>Cerca ECU Eth</source>
        <translation>Search ECU Eth</translation>
    </message>
    <message>
        <source>Opzioni</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Comandi</source>
        <translation>Commands</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>Conversione dump...</source>
        <translation>Dump conversion...</translation>
    </message>
    <message>
        <source>Uscita</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>&amp;Comandi</source>
        <translation>&amp;Commands</translation>
    </message>
    <message>
        <source>C&amp;omunicazione</source>
        <translation>C&amp;ommunication</translation>
    </message>
    <message>
        <source>Impostazioni...</source>
        <translation>Settings...</translation>
    </message>
    <message>
        <source>&amp;Info</source>
        <translation>&amp;Info</translation>
    </message>
    <message>
        <source>locale</source>
        <translation>local</translation>
    </message>
    <message>
        <source>nessuna</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Cambio server : </source>
        <translation>Change server : </translation>
    </message>
    <message>
        <source>Cambio interfaccia Ethernet : </source>
        <translation>Change Ethernet interface : </translation>
    </message>
    <message>
        <source>Salva istantanea logger</source>
        <translation>Save logger snapshot</translation>
    </message>
    <message>
        <source>Apri istantanea logger</source>
        <translation>Open logger snapshot</translation>
    </message>
    <message>
        <source>Libreria ORVLibCrypt.dll : versione errata o libreria mancante!</source>
        <translation>ORVLibCrypt.dll library: wrong version or library missing!</translation>
    </message>
    <message>
        <source>Checksum non valida!!!</source>
        <translation>Invalid checksum!!!</translation>
    </message>
    <message>
        <source>Errore di sintassi nel file XML!!!</source>
        <translation>Syntax error in the XML file!!!</translation>
    </message>
    <message>
        <source>Tabella &apos;TabDataLogger&apos; mancante, device inadeguato!!!</source>
        <translation>Table &apos;TabDataLogger&apos; missing, unsuitable device!!!</translation>
    </message>
    <message>
        <source>Tabella &apos;CalibrationScalings&apos; mancante, il device potrebbe essere inadeguato!!!</source>
        <translation>Table &apos;CalibrationScalings&apos; missing, the device may be unsuitable!!!</translation>
    </message>
    <message>
        <source>Tabella &apos;Channels&apos; mancante, device inadeguato!!!</source>
        <translation>Table &apos;Channels&apos; missing, unsuitable device!!!</translation>
    </message>
    <message>
        <source>Tabella &apos;TabDataLogger&apos; incompleta e/o valori presenti non validi!!!</source>
        <translation>Table &apos;TabDataLogger&apos; incomplete and/or holding invalid values!!!</translation>
    </message>
    <message>
        <source>Non sono presenti variabili da loggare!!!</source>
        <translation>There are no variables to log!!!</translation>
    </message>
    <message>
        <source>Var_ScalingID &gt;</source>
        <translation>Var_ScalingID &gt;</translation>
    </message>
    <message>
        <source>&lt; non trovato!!! Nome variabile: </source>
        <translation>&lt; not found!!! Variable name: </translation>
    </message>
    <message>
        <source>
Verrà impostata la scala 1:1</source>
        <translation>
The 1:1 scale will be used</translation>
    </message>
    <message>
        <source>Nessun device caricato: i device si trovano in %1 (File &gt; Seleziona Device).</source>
        <translation>No device loaded: devices are in %1 (File &gt; Select Device).</translation>
    </message>
    <message>
        <source>
Continuare comunque???</source>
        <translation>
Continue anyway???</translation>
    </message>
    <message>
        <source>Invio configurazione logger alla ECU, in corso.
Attendere prego...</source>
        <translation>Sending the logger configuration to the ECU.
Please wait...</translation>
    </message>
    <message>
        <source>Lettura memoria logger, in corso.
Attendere prego...</source>
        <translation>Reading the logger memory.
Please wait...</translation>
    </message>
    <message>
        <source>Il file dump non è stato salvato:
la memoria logger non viene cancellata dalla ECU.</source>
        <translation>The dump file was not saved:
the logger memory is not erased from the ECU.</translation>
    </message>
    <message>
        <source>Dopo il download dei dati memorizzati,
li vuoi cancellare dalla ECU???</source>
        <translation>After the download of the stored data,
do you want to erase them from the ECU???</translation>
    </message>
    <message>
        <source>Cancellazione memoria logger, in corso.
Attendere prego...</source>
        <translation>Erasing the logger memory.
Please wait...</translation>
    </message>
    <message>
        <source>Lettura configurazione logger, in corso.
Attendere prego...</source>
        <translation>Reading the logger configuration.
Please wait...</translation>
    </message>
    <message>
        <source>Procedura di download automatico
Attesa per la connessione alla ECU...
Premere ESC per uscire!</source>
        <translation>Automatic download
Waiting for the connection to the ECU...
Press ESC to leave!</translation>
    </message>
    <message>
        <source>Connessione al server non effettuata!!!</source>
        <translation>No connection to the server!!!</translation>
    </message>
    <message>
        <source>Connessione alla ECU via Ethernet, non effettuata!!!</source>
        <translation>No Ethernet connection to the ECU!!!</translation>
    </message>
    <message>
        <source>Interfaccia non connessa!!!</source>
        <translation>Interface not connected!!!</translation>
    </message>
    <message>
        <source>ECU non in linea!!!</source>
        <translation>ECU not online!!!</translation>
    </message>
    <message>
        <source>Problemi di comunicazione con il server!!!</source>
        <translation>Communication problems with the server!!!</translation>
    </message>
    <message>
        <source>Device corretto!!!</source>
        <translation>Device correct!!!</translation>
    </message>
    <message>
        <source>Device non allineato con la ECU!!!</source>
        <translation>Device not aligned with the ECU!!!</translation>
    </message>
    <message>
        <source>Errore di lettura dati in ECU!!!</source>
        <translation>Error reading data in the ECU!!!</translation>
    </message>
    <message>
        <source>Visualizza dati</source>
        <translation>View data</translation>
    </message>
    <message>
        <source>Brisca - Visualizza dati</source>
        <translation>Brisca - View data</translation>
    </message>
</context>
<context>
    <name>PathSel2DFormat</name>
    <message>
        <source>Commenti :</source>
        <translation>Comments:</translation>
    </message>
    <message>
        <source>Brisca - 2D</source>
        <translation>Brisca - 2D</translation>
    </message>
    <message>
        <source>Inserire il nome del nuovo evento 2D:</source>
        <translation>Enter the name of the new 2D event:</translation>
    </message>
    <message>
        <source>Inserire il nome della misura :</source>
        <translation>Enter the name of the measurement:</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Apri logger dump</source>
        <translation>Open logger dump</translation>
    </message>
    <message>
        <source>Logger Dump (*.bin)</source>
        <translation>Logger Dump (*.bin)</translation>
    </message>
    <message>
        <source>Il file selezionato non e&apos; un logger dump leggibile.</source>
        <translation>The selected file is not a readable logger dump.</translation>
    </message>
    <message>
        <source>Il file selezionato non contiene dati da convertire,
perchè la memoria della ECU era vuota.</source>
        <translation>The selected file holds no data to convert,
because the ECU memory was empty.</translation>
    </message>
</context>
<context>
    <name>QuickLookWindow</name>
    <message>
        <source>Ricerca :</source>
        <translation>Search :</translation>
    </message>
    <message>
        <source>Spuntare un canale per vederne l&apos;andamento</source>
        <translation>Tick a channel to plot it</translation>
    </message>
    <message>
        <source>Run e giri</source>
        <translation>Runs and laps</translation>
    </message>
    <message>
        <source>Click per ingrandire il run o il giro</source>
        <translation>Click to zoom to the run or lap</translation>
    </message>
    <message>
        <source>Pannelli separati</source>
        <translation>Separate panels</translation>
    </message>
    <message>
        <source>Un pannello per canale invece di un asse y per canale</source>
        <translation>One panel per channel instead of one y axis per channel</translation>
    </message>
    <message>
        <source>Vista completa</source>
        <translation>Whole measurement</translation>
    </message>
    <message>
        <source>Apri misura...</source>
        <translation>Open measurement...</translation>
    </message>
    <message>
        <source>Impossibile aprire %1:
%2</source>
        <translation>Cannot open %1:
%2</translation>
    </message>
    <message>
        <source>non è un dump del logger né un file MDF</source>
        <translation>it is neither a logger dump nor an MDF file</translation>
    </message>
    <message>
        <source>la memoria della ECU era vuota</source>
        <translation>the ECU memory was empty</translation>
    </message>
    <message>
        <source>Impossibile visualizzare %1:
%2</source>
        <translation>Cannot show %1:
%2</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>Run %1, giro %2</source>
        <translation>Run %1, lap %2</translation>
    </message>
    <message>
        <source>Run %1</source>
        <translation>Run %1</translation>
    </message>
    <message>
        <source>Tempo (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>t = %1 s</source>
        <translation>t = %1 s</translation>
    </message>
    <message>
        <source>Apri misura</source>
        <translation>Open measurement</translation>
    </message>
    <message>
        <source>Misure (*.mdf *.mf4 *.bin);;Tutti i file (*)</source>
        <translation>Measurements (*.mdf *.mf4 *.bin);;All files (*)</translation>
    </message>
    <message>
        <source>Brisca - Visualizza dati</source>
        <translation>Brisca - View data</translation>
    </message>
    <message>
        <source>giro %1</source>
        <translation>lap %1</translation>
    </message>
</context>
<context>
    <name>SelExportDataDialog</name>
    <message>
        <source>Formato MDF</source>
        <translation>MDF format</translation>
    </message>
    <message>
        <source>Formato 2D</source>
        <translation>2D format</translation>
    </message>
    <message>
        <source>Salva</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Salvataggio della misura 2D...</source>
        <translation>Saving the 2D measurement...</translation>
    </message>
    <message>
        <source>Salvataggio della misura MDF...</source>
        <translation>Saving the MDF measurement...</translation>
    </message>
    <message>
        <source>Impossibile salvare la misura:
</source>
        <translation>The measurement could not be saved:
</translation>
    </message>
    <message>
        <source>Formato MDF 4.10</source>
        <translation>MDF 4.10 format</translation>
    </message>
    <message>
        <source>Salvataggio della misura MDF 4.10...</source>
        <translation>Saving the MDF 4.10 measurement...</translation>
    </message>
</context>
<context>
    <name>SelMDFFormat</name>
    <message>
        <source>Progetto :</source>
        <translation>Project:</translation>
    </message>
    <message>
        <source>Info Misura :</source>
        <translation>Measurement info:</translation>
    </message>
    <message>
        <source>Commenti :</source>
        <translation>Comments:</translation>
    </message>
    <message>
        <source>Brisca - MDF</source>
        <translation>Brisca - MDF</translation>
    </message>
    <message>
        <source>Inserire il nome del nuovo evento MDF :</source>
        <translation>Enter the name of the new MDF event:</translation>
    </message>
    <message>
        <source>Inserire il nome della misura :</source>
        <translation>Enter the name of the measurement:</translation>
    </message>
    <message>
        <source>Brisca - MDF 4.10</source>
        <translation>Brisca - MDF 4.10</translation>
    </message>
    <message>
        <source>Inserire il nome del nuovo evento MDF 4.10 :</source>
        <translation>Enter the name of the new MDF 4.10 event:</translation>
    </message>
</context>
<context>
    <name>SnapshotFile</name>
    <message>
        <source>Impossibile scrivere il file dell&apos;istantanea!!!</source>
        <translation>The snapshot file cannot be written!!!</translation>
    </message>
    <message>
        <source>L&apos;istantanea e&apos; incompleta o danneggiata!!!
Impossibile continuare!!!</source>
        <translation>The snapshot is incomplete or damaged!!!
Cannot continue!!!</translation>
    </message>
    <message>
        <source>L&apos;istantanea non e&apos; allineata con il device!!!
Continuare comunque???</source>
        <translation>The snapshot does not match the device!!!
Continue anyway???</translation>
    </message>
    <message>
        <source>L&apos;istantanea e&apos; stata creata con un device che utilizza un&apos;architettura diversa da quello in uso!!!
Impossibile continuare!!!</source>
        <translation>The snapshot was created with a device of a different architecture from the one in use!!!
Cannot continue!!!</translation>
    </message>
    <message>
        <source>Non e&apos; stata trovata nessuna corrispondenza tra l&apos;istantanea e il device corrente!!!</source>
        <translation>No match was found between the snapshot and the current device!!!</translation>
    </message>
</context>
<context>
    <name>WaitDialog</name>
    <message>
        <source>Tempo trascorso (s) :</source>
        <translation>Elapsed time (s) :</translation>
    </message>
    <message>
        <source>Tempo rimanente (s) :</source>
        <translation>Remaining time (s) :</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>ZeroDialog</name>
    <message>
        <source>Etichetta Canale</source>
        <translation>Channel label</translation>
    </message>
    <message>
        <source>UniqCode</source>
        <translation>UniqCode</translation>
    </message>
    <message>
        <source>data</source>
        <translation>data</translation>
    </message>
    <message>
        <source>0 impostato</source>
        <translation>0 set</translation>
    </message>
    <message>
        <source>0 corrente</source>
        <translation>0 current</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
