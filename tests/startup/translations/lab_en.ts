<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>frmMain</name>
    <message>
        <source>開始</source>
        <translation>Begin</translation>
    </message>
</context>
</TS>
