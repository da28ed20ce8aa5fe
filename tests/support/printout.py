"""The printed results page, checked in the document the program handed to CUPS (texts and
where they stand on the queue's page) and in the PDF the queue made of it (the same page). What
the page holds and where the layout puts it are the print test's (tst_ResultPrint::pageLayout),
the chart's look the chart's (tst_ChartControl)."""

import os

import pdf


def page_blocks(path, workdir):
    """The page at 72 dpi: runs of rows holding anything but white, as [top, bottom, left,
    right] in points, and the number of pixels that are not white. The rendered page is kept in
    workdir."""
    img = pdf.render(path, os.path.join(workdir, os.path.basename(path)[:-4] + "-72dpi"))
    out, ink = [], 0
    for y in range(img.height):
        row = img.data[y * img.width * 3:(y + 1) * img.width * 3]
        xs = [x for x in range(img.width) if min(row[x * 3:x * 3 + 3]) < 250]  # ghostscript's white is 254
        ink += len(xs)
        if not xs:
            continue
        if out and out[-1][1] == y - 1:
            out[-1][1] = y
            out[-1][2] = min(out[-1][2], xs[0])
            out[-1][3] = max(out[-1][3], xs[-1])
        else:
            out.append([y, y, xs[0], xs[-1]])
    return out, ink


def check_document(checks, path, name, summary_lines, left, top, workdir):
    """The page as the program drew it: one page named "Kivora results", its texts, and where
    they stand given the queue's left and top margins (pt). Returns the page's blocks and ink for
    check_paper, or None when the texts to measure from are missing."""
    pages, title = pdf.info(path)
    checks.equal(pages, 1, "pages of the printed document")
    checks.equal(title, "Kivora results", "document name of the print job")
    if not check_texts(checks, path, name, summary_lines):
        return None
    return check_layout(checks, path, left, top, workdir)


def check_texts(checks, path, name, summary_lines):
    """The name line first and the summary as the results window shows it last (the chart's
    texts between them are the print test's). The text is kept beside the document. False when
    there is too little text to check."""
    text = pdf.text(path)
    with open(path + ".txt", "w", encoding="utf-8") as f:
        f.write(text)
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    if not checks.check(len(lines) >= 3, f"printed text: {lines}"):
        return False
    checks.equal(lines[0], f"氏名： {name}", "first line of the printout")
    checks.equal(lines[-2:], summary_lines, "last two lines of the printout (the summary as shown)")
    return True


def check_layout(checks, path, left, top, workdir):
    """Where the name line, the chart and the summary stand, in points from the paper's corner.
    Drawing position (0, 0) is one inch right of and half an inch below the printable area's
    corner (the queue's margins). Returns the page's blocks and ink, or None without the words
    to measure from."""
    words = pdf.words(path)
    find = {key: next((w for w in words if w[2].startswith(key)), None)
            for key in ("氏名", "正解数", "全平均反応時間")}
    if not checks.check(None not in find.values(), f"printout words: {[w[2] for w in words]}"):
        return None
    name_w, sum1, sum2 = find["氏名"], find["正解数"], find["全平均反応時間"]
    line = sum2[1] - sum1[1]  # one line of the 14-pt font
    checks.check(14 <= line <= 22, f"printout line height {line:.2f} pt for a 14-pt font")
    ox, oy = left + 72, top + 36
    checks.check(abs(name_w[0] - ox) <= 1.5 and abs(name_w[1] - oy) <= 1.5,
                 f"page origin: the name line should start 1 inch from the left and 1/2 inch from the top "
                 f"of the printable area ({ox:.1f}, {oy:.1f}) pt, it starts at ({name_w[0]:.1f}, "
                 f"{name_w[1]:.1f}) pt")
    checks.check(abs(sum1[0] - name_w[0]) <= 0.5 and abs(sum2[0] - name_w[0]) <= 0.5,
                 f"printout: summary lines start where the name does, x = {name_w[0]}, {sum1[0]}, {sum2[0]}")
    blocks, ink = page_blocks(path, workdir)
    # Where the chart and the summary stand relative to the name line is the page layout's own
    # (tst_ResultData::pageLayout, tst_ResultPrint::pageLayout); here, that the chart came
    # between them, on the real queue's page.
    chart = [b for b in blocks if b[0] > name_w[1] + line and b[1] < sum1[1]]
    checks.check(len(chart) == 1, f"printout: one block between name and summary, got {chart}")
    return blocks, ink


def check_paper(checks, path, doc_page, workdir):
    """What came out of the queue: one page that looks like the document sent, doc_page as
    check_document returns it (when there is one): its blocks within 2 pt, and as much ink
    within a tenth."""
    pages, _ = pdf.info(path)
    checks.equal(pages, 1, f"pages in {os.path.basename(path)}")
    blocks, ink = page_blocks(path, workdir)
    if doc_page is not None:
        doc_blocks, doc_ink = doc_page
        same = len(blocks) == len(doc_blocks) and all(
            all(abs(a - b) <= 2 for a, b in zip(p, q)) for p, q in zip(blocks, doc_blocks))
        checks.check(same, f"the queue's PDF should show the page as sent: blocks {blocks} vs {doc_blocks}")
        checks.check(abs(ink - doc_ink) <= doc_ink / 10,
                     f"the queue's PDF should show the page as sent: {ink} pixels not white vs {doc_ink}")
