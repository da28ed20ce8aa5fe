<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>Application</name>
    <message>
        <source>設定ファイルを読み込めません。

</source>
        <translation>The settings file cannot be read.

</translation>
    </message>
    <message>
        <source>言語を選べません。

</source>
        <translation>The language cannot be used.

</translation>
    </message>
    <message>
        <source>kivora: the system&apos;s viewer did not open %1</source>
        <translation>kivora: the system&apos;s viewer did not open %1</translation>
    </message>
    <message>
        <source>集計しました。</source>
        <translation>The report is written.</translation>
    </message>
    <message>
        <source>集計できませんでした。</source>
        <translation>No report could be written.</translation>
    </message>
    <message>
        <source>... (%1 lines more under Show Details)</source>
        <translation>... (%1 lines more under Show Details)</translation>
    </message>
    <message>
        <source>Kivora 集計</source>
        <translation>Kivora report</translation>
    </message>
    <message>
        <source>集計するデータのフォルダー</source>
        <translation>The folder of the data to report on</translation>
    </message>
    <message>
        <source>モニターを選べません。

</source>
        <translation>The monitor cannot be chosen.

</translation>
    </message>
    <message>
        <source>画面の書き換えに合わせた表示（--timing present）が使えません。

</source>
        <translation>Pictures in step with the display&apos;s refresh (--timing present) are not available.

</translation>
    </message>
    <message>
        <source>練習の試行計画を読み込めません。

</source>
        <translation>The practice plan cannot be read.

</translation>
    </message>
    <message>
        <source>試行計画を読み込めません。

</source>
        <translation>The trial plan cannot be read.

</translation>
    </message>
    <message>
        <source>クラス表示するデータのフォルダー</source>
        <translation>The data folder to show as a class</translation>
    </message>
    <message>
        <source>トリガーのポートを開けません。

%1</source>
        <translation>The trigger port cannot be opened.

%1</translation>
    </message>
</context>
<context>
    <name>ChartControl</name>
    <message>
        <source>キヴォラ反応時間</source>
        <translation>Kivora reaction times</translation>
    </message>
    <message>
        <source>文字の方向 (度，時計回り)</source>
        <translation>Letter orientation (degrees, clockwise)</translation>
    </message>
    <message>
        <source>平均反応時間 (ミリ秒)</source>
        <translation>Mean reaction time (ms)</translation>
    </message>
</context>
<context>
    <name>ClassCommands</name>
    <message>
        <source>kivora: --report: %1 is not a folder</source>
        <translation>kivora: --report: %1 is not a folder</translation>
    </message>
    <message>
        <source>kivora: --report: no run read from %1; nothing written</source>
        <translation>kivora: --report: no run read from %1; nothing written</translation>
    </message>
    <message>
        <source>%1 runs read (%2 complete), %3 files skipped%4; report in %5</source>
        <translation>%1 runs read (%2 complete), %3 files skipped%4; report in %5</translation>
    </message>
</context>
<context>
    <name>DisplayCheck</name>
    <message>
        <source>Kivora display check</source>
        <translation>Kivora display check</translation>
    </message>
    <message>
        <source>表示を確かめています。しばらくお待ちください。
(checking the display)</source>
        <translation>Checking the display. Please wait.</translation>
    </message>
    <message>
        <source>1 のキーを %1 回押してください。
(press key 1 %1 times)</source>
        <translation>Press key 1 %1 times.</translation>
    </message>
</context>
<context>
    <name>EventLog</name>
    <message>
        <source>ログファイルを開けません: %1 (%2)</source>
        <translation>The log file cannot be opened: %1 (%2)</translation>
    </message>
    <message>
        <source>ログを書き込めません: %1 (%2)</source>
        <translation>The log cannot be written: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>Participant</name>
    <message>
        <source>参加者コードには、英字 (A〜Z, a〜z)、数字 (0〜9)、- と _ を 1〜32 文字使えます。最初の文字は英字か数字です。空白、/ や日本語の文字は使えません。</source>
        <translation>A participant code is 1 to 32 characters: letters (A-Z, a-z), digits (0-9), - and _. It begins with a letter or a digit. Blanks, / and other characters cannot be used.</translation>
    </message>
</context>
<context>
    <name>PlanReader</name>
    <message>
        <source>（%1〜%2 の整数）</source>
        <translation> (a whole number %1 to %2)</translation>
    </message>
    <message>
        <source>ファイルが試行の途中で終わっています（%1 の値がありません。1 試行は FigSet, StartDir, CueDir, Mirror, PresentTime の 5 つの値）</source>
        <translation>the file ends inside a trial (no value of %1; a trial is five values: FigSet, StartDir, CueDir, Mirror, PresentTime)</translation>
    </message>
    <message>
        <source>%1 の値 %2 は 16 ビット整数に収まりません</source>
        <translation>the value %2 of %1 does not fit a 16-bit integer</translation>
    </message>
    <message>
        <source>%1 の値 %2 は使えません</source>
        <translation>the value %2 of %1 cannot be used</translation>
    </message>
    <message>
        <source>%1 の値が空です</source>
        <translation>the value of %1 is empty</translation>
    </message>
    <message>
        <source>%1 の値「%2」は整数ではありません</source>
        <translation>the value &quot;%2&quot; of %1 is not a whole number</translation>
    </message>
    <message>
        <source>%1 件目の試行です（試行は %2 件まで）</source>
        <translation>trial %1 (a plan holds at most %2 trials)</translation>
    </message>
    <message>
        <source>PresentTime の値 %1 は 7 種類目の提示時間です（提示時間は %2 の 6 種類まで）</source>
        <translation>PresentTime %1 is a seventh presentation time (at most six: %2)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>ファイルのあるフォルダがありません</source>
        <translation>the folder of the file does not exist</translation>
    </message>
    <message>
        <source>ファイルがありません</source>
        <translation>the file does not exist</translation>
    </message>
    <message>
        <source>ファイルではなくフォルダです</source>
        <translation>a folder, not a file</translation>
    </message>
    <message>
        <source>読み取りの権限がありません</source>
        <translation>no permission to read it</translation>
    </message>
    <message>
        <source>ファイルを開けません（%1）</source>
        <translation>the file cannot be opened (%1)</translation>
    </message>
    <message>
        <source>ファイルを読み取れません（%1）</source>
        <translation>the file cannot be read (%1)</translation>
    </message>
</context>
<context>
    <name>Presenter</name>
    <message>
        <source>画面に表示できません。

</source>
        <translation>The pictures cannot be shown on the screen.

</translation>
    </message>
</context>
<context>
    <name>Report</name>
    <message>
        <source>報告のフォルダを作れません: %1</source>
        <translation>The report&apos;s folder cannot be made: %1</translation>
    </message>
    <message>
        <source>%1 を書き込めません (%2)</source>
        <translation>%1 cannot be written (%2)</translation>
    </message>
</context>
<context>
    <name>ReportPdf</name>
    <message>
        <source>角度差 (度)</source>
        <translation>Angular disparity (degrees)</translation>
    </message>
    <message>
        <source>正答の平均反応時間 (ミリ秒)</source>
        <translation>Mean RT of correct answers (ms)</translation>
    </message>
    <message>
        <source>キヴォラ反応時間 (完了した実行 %1 の平均 ± SE)</source>
        <translation>Kivora reaction times (mean ± SE of %1 complete runs)</translation>
    </message>
    <message>
        <source>傾き: 実行ごとに、角度差ごとの正答の平均反応時間に最小二乗法で当てはめた直線の傾き (ミリ秒/度)。完了した実行の平均と、0 との比較 (1 標本 t 検定、両側)。</source>
        <translation>Slope: for each run, the slope (ms per degree) of the least-squares line through the mean RT of correct answers at each angular disparity. The mean over the complete runs, compared with 0 (one-sample t test, two-sided).</translation>
    </message>
    <message>
        <source>呈示時間</source>
        <translation>Presentation time</translation>
    </message>
    <message>
        <source>傾きの平均</source>
        <translation>Mean slope</translation>
    </message>
    <message>
        <source>95% 信頼区間</source>
        <translation>95% CI</translation>
    </message>
    <message>
        <source>%1 〜 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>完了した実行がないため、傾きの集計はありません。</source>
        <translation>No complete run: no slopes to sum up.</translation>
    </message>
    <message>
        <source>除外の規則と件数</source>
        <translation>Exclusion rules and counts</translation>
    </message>
    <message>
        <source>・誤答の試行は反応時間の集計に入れない: %1 試行 (完了した実行の %2 試行のうち)</source>
        <translation>• Error trials enter no RT figure: %1 trials (of the %2 trials of the complete runs)</translation>
    </message>
    <message>
        <source>・反応時間が %1 ミリ秒未満の正答 (見越し反応): %2 試行</source>
        <translation>• Correct answers faster than %1 ms (anticipations): %2 trials</translation>
    </message>
    <message>
        <source>・反応時間が %1 ミリ秒を超える正答 (注意の途切れ): %2 試行</source>
        <translation>• Correct answers slower than %1 ms (lapses): %2 trials</translation>
    </message>
    <message>
        <source>・未完了の実行はグループの集計と図に入れない: %1 実行 (%2 試行)</source>
        <translation>• Incomplete runs enter neither the group figures nor the chart: %1 runs (%2 trials)</translation>
    </message>
    <message>
        <source>方向 = ((StartDir + CueDir) mod 6) × 60 度 (時計回り)、角度差 = min(方向, 360 − 方向)。正像と鏡映像の試行は合わせて平均する。</source>
        <translation>Orientation = ((StartDir + CueDir) mod 6) × 60 degrees (clockwise); angular disparity = min(orientation, 360 − orientation). Normal and mirrored trials are averaged together.</translation>
    </message>
    <message>
        <source>読み込まなかったファイル (%1)</source>
        <translation>Files not read (%1)</translation>
    </message>
    <message>
        <source>_means.csv ファイル %1 件は、実行が最後まで答えられた印として使いました。</source>
        <translation>%1 _means.csv files were taken as the sign of a run answered to its end.</translation>
    </message>
    <message>
        <source>表示時刻が正確でない試行あり</source>
        <translation>trials whose onsets were not exact</translation>
    </message>
    <message>
        <source>表示の遅れ %1 回</source>
        <translation>%1 late flips</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>表示時刻に注意する実行 (%1、集計には含む)</source>
        <translation>Runs whose onsets need a look (%1, included in the figures)</translation>
    </message>
    <message>
        <source>表示時刻が正確でない: コンポジタが画面を合成していた、Wayland のセッション、Windows の推定値など (runs.csv の onsets_exact が 0)。表示の遅れ: 予定のリフレッシュより後に出た画面の数 (late_flips)。</source>
        <translation>Onsets not exact: a compositor composed the screen, a Wayland session, Windows&apos;s estimates and the like (onsets_exact 0 in runs.csv). Late flips: screens that came at a later refresh than planned (late_flips).</translation>
    </message>
    <message>
        <source>%1 (%2 試行に回答) %3</source>
        <translation>%1 (%2 trials answered) %3</translation>
    </message>
    <message>
        <source>未完了の実行 (%1、runs.csv と cells.csv には含む)</source>
        <translation>Incomplete runs (%1, included in runs.csv and cells.csv)</translation>
    </message>
    <message>
        <source>実行ごとの結果 (完了した実行、正答の平均反応時間)</source>
        <translation>Results per run (complete runs, mean RT of correct answers)</translation>
    </message>
    <message>
        <source>%1  正答率 %2 (%3/%4)</source>
        <translation>%1  accuracy %2 (%3/%4)</translation>
    </message>
    <message>
        <source>キヴォラ反応時間 集計</source>
        <translation>Kivora reaction times: class report</translation>
    </message>
    <message>
        <source>データフォルダ: %1    作成: %2</source>
        <translation>Data folder: %1    made: %2</translation>
    </message>
    <message>
        <source>実行: 読み込み %1 (完了 %2: グループの集計と図に使用、未完了 %3)</source>
        <translation>Runs: %1 read (%2 complete: in the group figures and the chart; %3 incomplete)</translation>
    </message>
    <message>
        <source>次のファイルは UTF-8 ではないので、CP932 (日本語の Windows の Excel が保存する文字コード) として読みました。名前が正しく読めているか確かめてください。</source>
        <translation>These files are not UTF-8 and were read as CP932 (what Excel saves on a Japanese Windows): check that their names read right.</translation>
    </message>
</context>
<context>
    <name>ResultData</name>
    <message>
        <source>呈示 %1mS</source>
        <translation>Cue %1 ms</translation>
    </message>
    <message>
        <source>正解数： %1 (%2問中)</source>
        <translation>Correct: %1 of %2</translation>
    </message>
    <message>
        <source>全平均反応時間： %1ミリ秒</source>
        <translation>Mean reaction time: %1 ms</translation>
    </message>
</context>
<context>
    <name>ResultPageLayout</name>
    <message>
        <source>参加者コード： </source>
        <translation>Participant code: </translation>
    </message>
    <message>
        <source>氏名： </source>
        <translation>Name: </translation>
    </message>
</context>
<context>
    <name>RunFiles</name>
    <message>
        <source>引用符 &quot; が閉じられていません</source>
        <translation>a quote &quot; is not closed</translation>
    </message>
    <message>
        <source>引用符で囲んだ値の後に余分な文字があります</source>
        <translation>characters after a quoted value</translation>
    </message>
    <message>
        <source>値の途中に引用符 &quot; があります</source>
        <translation>a quote &quot; inside a value</translation>
    </message>
    <message>
        <source>UTF-8 の印 (BOM) で始まるのに、UTF-8 として読めないバイトがあります</source>
        <translation>starts with the UTF-8 byte order mark but holds bytes that are not UTF-8</translation>
    </message>
    <message>
        <source>UTF-8 でも CP932 (Shift-JIS) でもありません（どちらとしても読めないバイトがあります）</source>
        <translation>neither UTF-8 nor CP932 (Shift-JIS): it holds bytes that neither reads</translation>
    </message>
    <message>
        <source>UTF-8 でも CP932 (Shift-JIS) でもありません（CP932 として読むと外字になります: ほかの文字コードのファイルでしょう）</source>
        <translation>neither UTF-8 nor CP932 (Shift-JIS): read as CP932 it needs user-defined characters, so it is in another code page</translation>
    </message>
    <message>
        <source>フォルダー</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>名前付きパイプ</source>
        <translation>a named pipe</translation>
    </message>
    <message>
        <source>ソケット</source>
        <translation>a socket</translation>
    </message>
    <message>
        <source>デバイス</source>
        <translation>a device</translation>
    </message>
    <message>
        <source>特殊なファイル</source>
        <translation>a special file</translation>
    </message>
    <message>
        <source>データファイルの見出し行ではありません（%1）</source>
        <translation>not the header row of a data file (%1)</translation>
    </message>
    <message>
        <source>空のファイルです（データファイルの見出し行がありません）</source>
        <translation>an empty file (no header row of a data file)</translation>
    </message>
    <message>
        <source>見出し行に列「%1」が 2 回あります</source>
        <translation>the header row names the column &quot;%1&quot; twice</translation>
    </message>
    <message>
        <source>データファイルの見出し行ではありません（列「%1」がありません）</source>
        <translation>not the header row of a data file (no column &quot;%1&quot;)</translation>
    </message>
    <message>
        <source>値が %1 個あります（見出し行は %2 列）</source>
        <translation>%1 values (the header row has %2 columns)</translation>
    </message>
    <message>
        <source>別の実行の行です（subject か run_started が前の行と違います）</source>
        <translation>a row of another run (its subject or run_started differs from the row before)</translation>
    </message>
    <message>
        <source>block の値「%1」は使えません（practice か main）</source>
        <translation>block &quot;%1&quot; cannot be used (practice or main)</translation>
    </message>
    <message>
        <source>round の値「%1」は使えません（練習の行は 1〜%2、本番の行は空）</source>
        <translation>round &quot;%1&quot; cannot be used (1 to %2 in a practice row, empty in a main row)</translation>
    </message>
    <message>
        <source>練習の行が本番の行の後にあります</source>
        <translation>a practice row after the main rows</translation>
    </message>
    <message>
        <source>round の値「%1」は %2 以上のはずです</source>
        <translation>round %1 should be %2 or more</translation>
    </message>
    <message>
        <source>試行が %1 を超えています</source>
        <translation>more than %1 trials</translation>
    </message>
    <message>
        <source>trial の値「%1」は %2 のはずです</source>
        <translation>trial &quot;%1&quot; should be %2</translation>
    </message>
    <message>
        <source>%1 の値「%2」は使えません（%3〜%4 の整数）</source>
        <translation>%1 &quot;%2&quot; cannot be used (a whole number %3 to %4)</translation>
    </message>
    <message>
        <source>correct の値「%1」が Answer と Mirror に合いません</source>
        <translation>correct &quot;%1&quot; does not agree with Answer and Mirror</translation>
    </message>
    <message>
        <source>RT の値「%1」は整数ではありません</source>
        <translation>RT &quot;%1&quot; is not a whole number</translation>
    </message>
    <message>
        <source>%1 の値「%2」は使えません（%3）</source>
        <translation>%1 &quot;%2&quot; cannot be used (%3)</translation>
    </message>
    <message>
        <source>0〜%1 の整数</source>
        <translation>a whole number 0 to %1</translation>
    </message>
    <message>
        <source>0 以上の整数 (µs)</source>
        <translation>a whole number 0 or more (µs)</translation>
    </message>
    <message>
        <source>0 か 1</source>
        <translation>0 or 1</translation>
    </message>
    <message>
        <source>データファイルではありません（.csv ではない）</source>
        <translation>not a data file (not .csv)</translation>
    </message>
    <message>
        <source>ふつうのファイルではないので読みません（%1）</source>
        <translation>not read: not a regular file (%1)</translation>
    </message>
    <message>
        <source>Windows ではデバイスの名前なので開きません</source>
        <translation>not opened: Windows keeps this name for a device</translation>
    </message>
    <message>
        <source>大きすぎるので読みません（%1 バイト、データファイルは %2 MiB まで）</source>
        <translation>not read: too large (%1 bytes; a data file is at most %2 MiB)</translation>
    </message>
    <message>
        <source>読み取れません（%1）</source>
        <translation>cannot be read (%1)</translation>
    </message>
</context>
<context>
    <name>RuntimeError</name>
    <message>
        <source>オーバーフローしました。</source>
        <translation>Overflow.</translation>
    </message>
    <message>
        <source>インデックスが有効範囲にありません。</source>
        <translation>Subscript out of range.</translation>
    </message>
    <message>
        <source>型が一致しません。</source>
        <translation>Type mismatch.</translation>
    </message>
    <message>
        <source>ファイルが見つかりません。</source>
        <translation>File not found.</translation>
    </message>
    <message>
        <source>既に同名のファイルが存在しています。</source>
        <translation>File already exists.</translation>
    </message>
    <message>
        <source>ファイルにこれ以上データがありません。</source>
        <translation>Input past end of file.</translation>
    </message>
    <message>
        <source>書き込みできません。</source>
        <translation>Permission denied.</translation>
    </message>
    <message>
        <source>パス名が無効です。</source>
        <translation>Path/File access error.</translation>
    </message>
    <message>
        <source>パスが見つかりません。</source>
        <translation>Path not found.</translation>
    </message>
    <message>
        <source>コントロール配列の要素が存在しません。</source>
        <translation>Control array element does not exist.</translation>
    </message>
    <message>
        <source>プロパティの値が不正です。</source>
        <translation>Invalid property value.</translation>
    </message>
    <message>
        <source>プリンタ エラーです。</source>
        <translation>Printer error.</translation>
    </message>
    <message>
        <source>インデックスが範囲を超えています。</source>
        <translation>Index out of bounds.</translation>
    </message>
    <message>
        <source>要素が見つかりません。</source>
        <translation>Element not found.</translation>
    </message>
    <message>
        <source>アプリケーション定義またはオブジェクト定義のエラーです。</source>
        <translation>Application-defined or object-defined error.</translation>
    </message>
    <message>
        <source>実行時エラー &apos;%1&apos;:

%2</source>
        <translation>Run-time error &apos;%1&apos;:

%2</translation>
    </message>
</context>
<context>
    <name>SessionData</name>
    <message>
        <source>データフォルダを作れません: %1</source>
        <translation>The data folder cannot be made: %1</translation>
    </message>
    <message>
        <source>データフォルダに書き込めません: %1 (%2)</source>
        <translation>The data folder cannot be written: %1 (%2)</translation>
    </message>
    <message>
        <source>データを書き込めません</source>
        <translation>The data cannot be written:</translation>
    </message>
    <message>
        <source>データをディスクに書き込めません</source>
        <translation>The data cannot be written to the disk:</translation>
    </message>
    <message>
        <source>データファイルを作れません</source>
        <translation>The data file cannot be made:</translation>
    </message>
    <message>
        <source>参加者コード %1 のデータファイルが、ほかに作られています。別のコードにしてください。</source>
        <translation>Another PC has just made a data file of participant code %1. Please use another code.</translation>
    </message>
    <message>
        <source>平均値ファイルを作れません</source>
        <translation>The means file cannot be made:</translation>
    </message>
</context>
<context>
    <name>Stage</name>
    <message numerus="yes">
        <source>あと%n問</source>
        <translation>
            <numerusform>%n question left</numerusform>
            <numerusform>%n questions left</numerusform>
        </translation>
    </message>
    <message>
        <source>表(1)？ or 裏(2)？</source>
        <translation>Normal (1) or mirrored (2)?</translation>
    </message>
</context>
<context>
    <name>StimulusDrawing</name>
    <message>
        <source>ここに，アルファベットが1文字表示されます．</source>
        <translation>A letter will appear here.</translation>
    </message>
    <message>
        <source>その後，矢印（方向の手がかり）が表示された後，元の文字を回転して矢印の方向に向けたものが，元のままか裏返しで表示されます．</source>
        <translation>Then an arrow shows a direction. After it, the letter appears again, turned the way the arrow points: either normal or mirrored.</translation>
    </message>
    <message>
        <source>元のままか裏返しかを，できるだけ早く答えてください．</source>
        <translation>Answer as fast as you can whether it is normal or mirrored.</translation>
    </message>
    <message>
        <source>答えは，1のキー（元のまま）か2のキー（裏返し）のいずれかを押してください．</source>
        <translation>Press key 1 for normal or key 2 for mirrored.</translation>
    </message>
    <message>
        <source>処理中です</source>
        <translation>Working on it</translation>
    </message>
    <message>
        <source>しばらくお待ち下さい</source>
        <translation>Please wait</translation>
    </message>
</context>
<context>
    <name>Study</name>
    <message>
        <source>これから練習をします。</source>
        <translation>First, some practice.</translation>
    </message>
    <message>
        <source>元のままなら 1 のキー、裏返しなら 2 のキーを押してください。</source>
        <translation>Press key 1 if the letter is normal, key 2 if it is mirrored.</translation>
    </message>
    <message>
        <source>スペースキーを押すと始まります。</source>
        <translation>Press the space bar to begin.</translation>
    </message>
    <message>
        <source>正答率 %1 %。</source>
        <translation>%1 % correct.</translation>
    </message>
    <message>
        <source>もう一度練習します。</source>
        <translation>Let us practise once more.</translation>
    </message>
    <message>
        <source>練習は終わりです。</source>
        <translation>The practice is over.</translation>
    </message>
    <message>
        <source>スペースキーを押すと本番が始まります。</source>
        <translation>Press the space bar to begin the test.</translation>
    </message>
    <message>
        <source>休憩です。</source>
        <translation>Time for a break.</translation>
    </message>
    <message>
        <source>%1 / %2 問終わりました。</source>
        <translation>%1 of %2 questions done.</translation>
    </message>
    <message>
        <source>準備ができたらスペースキーを押してください。</source>
        <translation>Press the space bar when you are ready.</translation>
    </message>
    <message>
        <source>正解&#x3000;%1 ミリ秒</source>
        <translation>Correct: %1 ms</translation>
    </message>
    <message>
        <source>不正解&#x3000;%1 ミリ秒</source>
        <translation>Wrong: %1 ms</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>End</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>氏名を入力してください</source>
        <translation>Please enter your name.</translation>
    </message>
    <message>
        <source>参加者コードを入力してください</source>
        <translation>Please enter your participant code.</translation>
    </message>
    <message>
        <source>参加者コード %1 のデータファイルがすでにあります。別のコードにしてください。</source>
        <translation>The data folder already holds files of participant code %1. Please use another code.</translation>
    </message>
    <message>
        <source>試行計画に試行がありません。実験を開始できません。</source>
        <translation>The trial plan holds no trials. The experiment cannot start.</translation>
    </message>
    <message>
        <source>記録を書き込めませんでした。

</source>
        <translation>The record could not be written.

</translation>
    </message>
    <message>
        <source>

それまでの記録は残っています。</source>
        <translation>

What was recorded before is kept.</translation>
    </message>
    <message>
        <source>

実験は開始していません。</source>
        <translation>

The experiment has not started.</translation>
    </message>
    <message>
        <source>トリガーのポートを開けません。実験は開始していません。

%1</source>
        <translation>The trigger port cannot be opened. The experiment has not started.

%1</translation>
    </message>
    <message>
        <source>トリガーを送れなくなりました。練習 %1 回目の第 %2 試行から後のトリガーはありません。

%3</source>
        <translation>Triggers could no longer be sent. There are no triggers from trial %2 of practice round %1 on.

%3</translation>
    </message>
    <message>
        <source>トリガーを送れなくなりました。第 %1 試行から後のトリガーはありません。

%2</source>
        <translation>Triggers could no longer be sent. There are no triggers from trial %1 on.

%2</translation>
    </message>
</context>
<context>
    <name>frmResult</name>
    <message>
        <source>Results</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>処理中です．しばらくお待ち下さい．</source>
        <translation>Working on it. Please wait.</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>印刷</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>既定のプリンタが設定されていないため、印刷できません。
プリンタを接続して既定のプリンタに設定してから、もう一度印刷してください。</source>
        <translation>No default printer is set, so nothing can be printed.
Connect a printer and make it the default printer, then print again.</translation>
    </message>
    <message>
        <source>プリンタ「%1」で印刷を始められませんでした。
プリンタの電源と接続を確かめてから、もう一度印刷してください。</source>
        <translation>Printing on the printer &quot;%1&quot; could not start.
Check the printer&apos;s power and connection, then print again.</translation>
    </message>
    <message>
        <source>プリンタ「%1」が印刷を受け付けませんでした（%2）。
プリンタの状態を確かめてから、もう一度印刷してください。</source>
        <translation>The printer &quot;%1&quot; did not accept the job (%2).
Check the printer, then print again.</translation>
    </message>
    <message>
        <source>プリンタ「%1」への印刷が失敗しました。
プリンタの状態を確かめてから、もう一度印刷してください。</source>
        <translation>Printing on the printer &quot;%1&quot; failed.
Check the printer, then print again.</translation>
    </message>
    <message>
        <source>正解数</source>
        <translation>Correct</translation>
    </message>
    <message>
        <source>全平均反応時間</source>
        <translation>Mean reaction time</translation>
    </message>
</context>
<context>
    <name>kivora::ClassView</name>
    <message>
        <source>名前を表示</source>
        <translation>Show names</translation>
    </message>
    <message>
        <source>集計を書き出す</source>
        <translation>Write report</translation>
    </message>
    <message>
        <source>Kivora クラス表示</source>
        <translation>Kivora class view</translation>
    </message>
    <message>
        <source>フォルダー: %1</source>
        <translation>Folder: %1</translation>
    </message>
    <message>
        <source>Kivora クラス表示 — 完了 %1、未完了 %2</source>
        <translation>Kivora class view — %1 complete, %2 incomplete</translation>
    </message>
    <message>
        <source>、読めないファイル %1</source>
        <translation>, %1 unreadable</translation>
    </message>
    <message>
        <source>完了 %1、未完了 %2（うち書き込み中 %3）、読めないファイル %4</source>
        <translation>%1 complete, %2 incomplete (%3 being written), %4 unreadable</translation>
    </message>
    <message>
        <source>%1 からフォルダーに届きません。表示は最後に読めたときのままです。</source>
        <translation>The folder cannot be reached since %1; the view shows what was last read.</translation>
    </message>
    <message>
        <source>参加者 %1</source>
        <translation>Participant %1</translation>
    </message>
    <message>
        <source>読めない（%1 行目）: %2</source>
        <translation>unreadable (line %1): %2</translation>
    </message>
    <message>
        <source>読めない: %1</source>
        <translation>unreadable: %1</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>complete</translation>
    </message>
    <message>
        <source>未完了（書き込み中）</source>
        <translation>incomplete (writing)</translation>
    </message>
    <message>
        <source>未完了</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>番号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>参加者</source>
        <translation>Participant</translation>
    </message>
    <message>
        <source>回答</source>
        <translation>Answered</translation>
    </message>
    <message>
        <source>正答率</source>
        <translation>Accuracy</translation>
    </message>
    <message>
        <source>傾き %1 ms</source>
        <translation>Slope %1 ms</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>State</translation>
    </message>
</context>
</TS>
