<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="ja_JP">
<context>
    <name>frmMain</name>
    <message>
        <source>開始</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>中止</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
