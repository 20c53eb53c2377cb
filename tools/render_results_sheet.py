"""Renders the first page of a workbook's second worksheet (the official results sheet) to PNG.

The spreadsheet converter prints every visible worksheet, so it is given a copy whose first
worksheet is marked hidden (a round trip through a spreadsheet library would rewrite the header
and footer texts). The converter lacks the sheet's Japanese font and draws with a wider one, so
the copy is also printed at 90 % to keep column K on the page, as the spreadsheet program
prints it.
usage: render_results_sheet.py workbook.xlsx out.png
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile


def hide_first_sheet(src, dst):
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/workbook.xml":
                text = data.decode("utf-8")
                text = re.sub(r"<((?:\w+:)?sheet) ", r'<\1 state="hidden" ', text, count=1)
                data = text.encode("utf-8")
            elif item.filename == "xl/worksheets/sheet2.xml":
                text = data.decode("utf-8")
                if "pageSetup" not in text:
                    text = re.sub(r"(<pageMargins[^>]*/>)", r'\1<pageSetup scale="90"/>', text)
                data = text.encode("utf-8")
            zout.writestr(item, data)


def main(src, png):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice or not shutil.which("pdftoppm"):
        sys.exit("soffice and pdftoppm are needed (packages libreoffice-calc-nogui, poppler-utils)")
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, "results.xlsx")
        hide_first_sheet(src, copy)
        subprocess.run([soffice, "--headless", "-env:UserInstallation=file://" + tmp + "/profile",
                        "--convert-to", "pdf", "--outdir", tmp, copy],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        base = os.path.join(tmp, "page")
        subprocess.run(["pdftoppm", "-png", "-r", "80", "-f", "1", "-l", "1",
                        os.path.join(tmp, "results.pdf"), base], check=True)
        page = [f for f in os.listdir(tmp) if f.startswith("page") and f.endswith(".png")][0]
        shutil.copy(os.path.join(tmp, page), png)
    print("wrote", png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
