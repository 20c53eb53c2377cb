"""Renders the first page of a workbook's second worksheet (the official results sheet) to PNG.

The spreadsheet converter prints every worksheet, so a copy holding only the results sheet is
printed: usage: render_results_sheet.py workbook.xlsx out.png
"""
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl


def main(src, png):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice or not shutil.which("pdftoppm"):
        sys.exit("soffice and pdftoppm are needed (packages libreoffice-calc-nogui, poppler-utils)")
    with tempfile.TemporaryDirectory() as tmp:
        book = openpyxl.load_workbook(src)
        for name in book.sheetnames[:1]:
            del book[name]
        copy = os.path.join(tmp, "results.xlsx")
        book.save(copy)
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
