<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it">
<context>
    <name>MainAppl</name>
    <message>
        <source>Brisca</source>
        <translation>Brisca</translation>
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
