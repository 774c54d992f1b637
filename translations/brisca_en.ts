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
    <name>MainAppl</name>
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
</TS>
