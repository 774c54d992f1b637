<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it">
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
    <name>DialogAboutProgram</name>
    <message>
        <source>Version : </source>
        <translation>Version : </translation>
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
</TS>
