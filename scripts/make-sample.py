#!/usr/bin/env python3
"""Rebuilds examples/sample/, the bundled sample database in folder format.

The notebook is the staff handbook of a small two-site company. Notes are
written here as HTML and turned into RTF by the office suite, so they look as
a word processor writes them; images come from ImageMagick, the PDF from the
office suite as well.

Usage: scripts/make-sample.py [OUTPUT_FOLDER]   (default: examples/sample)
Needs: soffice (LibreOffice) and convert (ImageMagick) on the PATH.
"""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_OUT = os.path.join(ROOT, "examples", "sample")

CSS = ("body { font-family: Arial; font-size: 11pt; }"
       " h1 { font-family: Georgia; font-size: 18pt; color: #1F3864; }"
       " h2 { font-family: Georgia; font-size: 14pt; color: #2E74B5; }")


def page(title, body):
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title>"
            "<style>%s</style></head><body>\n%s\n</body></html>\n" % (title, CSS, body))


def ul(*items):
    return "<ul>" + "".join("<li>%s</li>" % i for i in items) + "</ul>"


def ol(*items):
    return "<ol>" + "".join("<li>%s</li>" % i for i in items) + "</ol>"


# Each item: (caption, note body HTML or None, [attachments], [sub-items]).
# An attachment is a name; its content is made by make_attachment().
def item(caption, note=None, files=(), children=()):
    return {"caption": caption, "note": note, "files": list(files), "children": list(children)}


TREE = [
    item("Welcome", """
<h1 style="text-align:center">Welcome to Lindqvist &amp; Huang</h1>
<p style="text-align:center"><i>Willkommen &ndash; 欢迎 &ndash; Welcome</i></p>
<p>This handbook collects what every colleague needs in the first weeks: who we are,
how we work, and where to find things. It is kept in the outliner, so <b>anyone may
correct a page</b>; please tell <u>Office Management</u> when you do.</p>
<h2>How to read it</h2>
""" + ul("<b>Company</b> &ndash; history, sites, organisation",
         "<b>People &amp; policies</b> &ndash; hours, holidays, expenses, travel",
         "<b>IT &amp; tools</b> &ndash; accounts, printers, software",
         "<b>Projects</b> &ndash; the current customer projects") + """
<p style="text-align:right"><span style="font-family:'Courier New'; font-size:9pt">Last review: March 2024</span></p>
"""),
    item("Company", None, [], [
        item("Our history", """
<h1>Our history</h1>
<p>Anna Lindqvist and Wei Huang founded the company in <b>2009</b> in a shared office
in Hamburg-Altona. The first product was a scheduling tool for bakeries; today we build
planning software for small manufacturers.</p>
""" + ol("2009 &ndash; founded in Hamburg", "2014 &ndash; office in Shanghai (上海) opened",
         "2019 &ndash; 40 colleagues", "2023 &ndash; first customer in Scandinavia") + """
<p>The photo of the first office is attached below.</p>
""", ["first-office.jpg"]),
        item("Locations", """
<h1>Locations</h1>
<p>We work from two offices and from home. Both offices are open to every colleague;
please register visits in advance.</p>
""", [], [
            item("Hamburg office", """
<h1>Büro Hamburg</h1>
<p><b>Adresse:</b> Große Elbstraße 145, 22767 Hamburg</p>
<p>Öffnungszeiten: Montag bis Freitag, 8&ndash;18 Uhr. Der Schlüssel für das Lager liegt
beim Empfang. <i>Bitte die Tür zum Hof immer schließen!</i></p>
""", ["Öffnungszeiten.txt"], [
                item("Directions", """
<h1>Directions</h1>
<p>From Hamburg Hauptbahnhof take the <b>S1</b> towards Wedel to <b>Königstraße</b>,
then walk ten minutes down to the river. The map shows the way.</p>
""", ["map-hamburg.png"]),
                item("Parking", None, ["parking.txt"]),
            ]),
            item("Shanghai office", """
<h1>上海办公室 &ndash; Shanghai office</h1>
<p><b>地址：</b>上海市徐汇区漕溪北路 88 号 12 楼</p>
<p>工作时间：周一至周五 9:00&ndash;18:00。访客请提前登记。</p>
<p><i>Visitors from Hamburg: please bring your passport for the building registration.</i></p>
""", [], [
                item("Directions", """
<h1>Directions</h1>
<p>Metro line <b>1</b> or <b>9</b> to <b>Xujiahui (徐家汇)</b>, exit 14. The building is
opposite the shopping centre.</p>
"""),
                item("Visitor registration", """
<h1>Visitor registration</h1>
<p>Send the visitor's name, company and date to the front desk one day ahead.</p>
""" + ul("Name as in the passport", "Company", "Date and expected time")),
            ]),
            item("Remote work", """
<h1>Remote work</h1>
<p>Everyone may work from home up to <b>three days a week</b>. Core hours are
10:00&ndash;15:00 local time. Use the VPN (see <u>IT &amp; tools</u>).</p>
"""),
        ]),
        item("Organisation chart", None, ["orgchart.gif"]),
    ]),
    item("People & policies", """
<h1>People &amp; policies</h1>
<p>The rules below apply in both offices unless a page says otherwise.</p>
""", [], [
        item("Working hours", """
<h1>Working hours</h1>
<p>A full-time week has <b>38.5 hours</b>. Record your time in the planning tool by Friday.</p>
""" + ul("Core hours 10:00&ndash;15:00", "Overtime needs approval in advance",
         "<span style=\"color:#C00000\"><b>Never work more than ten hours a day</b></span>")),
        item("Holidays", """
<h1>Holidays</h1>
<p>Full-time colleagues have <b>30 days</b> of paid holiday per calendar year.
Plan long holidays with your team before <u>31 January</u>.</p>
""", [], [
            item("Public holidays Germany", """
<h1>Feiertage in Hamburg</h1>
""" + ul("Neujahr &ndash; 1. Januar", "Karfreitag und Ostermontag", "Tag der Arbeit &ndash; 1. Mai",
         "Tag der Deutschen Einheit &ndash; 3. Oktober", "Reformationstag &ndash; 31. Oktober",
         "1. und 2. Weihnachtstag")),
            item("Public holidays China", """
<h1>中国法定节假日</h1>
""" + ul("元旦 &ndash; New Year's Day", "春节 &ndash; Spring Festival (7 days)", "清明节 &ndash; Qingming",
         "劳动节 &ndash; Labour Day", "端午节 &ndash; Dragon Boat Festival", "中秋节 &ndash; Mid-Autumn",
         "国庆节 &ndash; National Day (7 days)")),
        ]),
        item("Expenses", """
<h1>Expenses</h1>
<p>Fill in the attached <b>expense form</b> and hand it in with the receipts within
<i>four weeks</i>. Amounts over 500&nbsp;&euro; need the approval of your team lead.</p>
""", ["Expense form.pdf"]),
        item("Code of conduct", """
<h1>Code of conduct</h1>
<p style="text-align:justify">We treat colleagues, customers and partners with respect. Harassment and
discrimination are not tolerated. Report concerns to your team lead or, in confidence,
to the works council.</p>
"""),
        item("Travel", """
<h1>Business travel</h1>
<p>Book through Office Management. Trains are preferred for trips under <b>six hours</b>.</p>
""", [], [
            item("Booking", """
<h1>Booking</h1>
""" + ol("Ask your team lead", "Send dates and destination to Office Management",
         "Receive the tickets by e-mail")),
            item("Checklist", """
<h1>Checklist &ndash; before you leave</h1>
""" + ul("Passport or ID card", "Tickets", "Laptop and charger", "Company credit card")),
            item("Checklist", """
<h1>Checklist &ndash; after you return</h1>
""" + ul("Expense form with receipts", "Short trip report to the team")),
        ]),
    ]),
    item("IT & tools", """
<h1>IT &amp; tools</h1>
<p>The IT desk is reachable at extension <b>-200</b> and in the chat channel <i>#it-help</i>.</p>
""", [], [
        item("Accounts", """
<h1>Accounts</h1>
<p>Your account is created on your first day. It gives access to e-mail, the intranet
and the planning tool.</p>
""", [], [
            item("Email", """
<h1>E-mail</h1>
<p>Addresses follow the pattern <span style="font-family:'Courier New'">first.last@lindqvist-huang.example</span>.</p>
"""),
            item("VPN", """
<h1>VPN</h1>
<p>Install the client as described in the attached text file and log in with your account.</p>
""", ["vpn-setup.txt"]),
            item("Passwords", """
<h1>Passwords</h1>
<p><b>Never</b> share a password, not even with the IT desk. Use the password manager.</p>
"""),
        ]),
        item("Printers"),
        item("Intranet archive page", None, ["archive.html", "logo.png", "banner.jpg"]),
        item("Software list", """
<h1>Software list</h1>
""" + ul("Office suite", "Planning tool", "Chat", "Password manager", "Outliner (this handbook)")),
    ]),
    item("Projects", """
<h1>Projects</h1>
<p>Current customer projects. Each project has a page for milestones, the team and risks.</p>
""", [], [
        item("Project Aurora", """
<h1>Project Aurora</h1>
<p>Production planning for a furniture maker in Sweden. Start: <b>January 2024</b>.</p>
""", [], [
            item("Milestones", """
<h1>Milestones</h1>
<p>Reviews take place at the end of each quarter.</p>
""", [], [
                item("Q1 review", """
<h1>Q1 review</h1>
<p>Prototype accepted. <span style="color:#007000">On schedule.</span></p>
"""),
                item("Q2 review", """
<h1>Q2 review</h1>
<p>Interface to the customer's ERP delayed by <b>two weeks</b>.</p>
"""),
            ]),
            item("Team", """
<h1>Team</h1>
""" + ul("Anna Lindqvist &ndash; sponsor", "Jörg Müller &ndash; project lead", "李娜 (Li Na) &ndash; development")),
            item("Risks"),
        ]),
        item("Project Boreal", """
<h1>Project Boreal</h1>
<p>Maintenance contract for the bakery scheduling tool, our oldest product.</p>
""", [], [
            item("Meeting notes", None, [], [
                item("2024-01-15", "<h1>2024-01-15</h1><p>Release 7.2 planned for February.</p>"),
                item("2024-02-12", "<h1>2024-02-12</h1><p>Release 7.2 shipped. <b>No open defects.</b></p>"),
                item("2024-03-11", "<h1>2024-03-11</h1><p>Customer asks for a tablet version.</p>"),
            ]),
        ]),
    ]),
    item("Kitchen & office life", """
<h1>Kitchen &amp; office life</h1>
<p>Clean up after yourself. The dishwasher is emptied by whoever finds it finished.</p>
""", [], [
        item("Coffee machine", """
<h1>Coffee machine</h1>
<p>Descale every <b>Friday</b>. The instructions are on the photo.</p>
""", ["coffee.png"]),
        item("Recipes", "<h1>Recipes</h1><p>Favourites from our team lunches.</p>", [], [
            item("Apfelkuchen", """
<h1>Apfelkuchen nach Oma Lindqvist</h1>
""" + ul("250 g Mehl", "125 g Butter", "100 g Zucker", "4 säuerliche Äpfel") + """
<p>Bei 180&nbsp;°C etwa <b>45 Minuten</b> backen. Schmeckt am besten lauwarm.</p>
"""),
            item("饺子 Dumplings", """
<h1>饺子 &ndash; Dumplings</h1>
<p>和面、调馅、包饺子，然后煮十分钟。<i>Best on Spring Festival eve.</i></p>
"""),
        ]),
        item("Lost and found"),
    ]),
    item("Glossary", """
<h1>Glossary</h1>
""" + ul("<b>ERP</b> &ndash; enterprise resource planning", "<b>Kernzeit</b> &ndash; core hours",
         "<b>加班</b> &ndash; overtime")),
    item("Contacts", """
<h1>Contacts</h1>
<p>The full phone list is attached as plain text.</p>
""", ["contacts.txt"]),
]

# Storage order of the projects differs from their names' order: Boreal first.
ORDER_OVERRIDES = {"Projects": ["Project Boreal", "Project Aurora"]}

TEXTS = {
    "Öffnungszeiten.txt": "Büro Hamburg\r\nMontag–Freitag 8–18 Uhr\r\nSamstag geschlossen\r\n",
    "parking.txt": "Parking\r\n\r\nSix spaces in the courtyard, first come first served.\r\n"
                   "Visitors use the public car park on Van-der-Smissen-Straße.\r\n",
    "vpn-setup.txt": "VPN set-up\n\n1. Install the client from the intranet.\n"
                     "2. Import the profile lindqvist-huang.ovpn.\n3. Log in with your account.\n",
    "contacts.txt": "Office Management   -100\nIT desk             -200\nReception Hamburg   -101\n"
                    "前台 Shanghai       -301\n",
}

ARCHIVE_HTML = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Intranet archive</title></head>
<body>
<p><img src="banner.jpg" alt="Banner" width="320" height="60"></p>
<h1>Old intranet (archived 2022)</h1>
<p><img src="logo.png" alt="Logo" width="64" height="64"> This copy of the former intranet start page is
kept for reference. The links no longer work.</p>
</body></html>
"""

PDF_HTML = page("Expense form", """
<h1>Expense form</h1>
<table border="1" cellpadding="4" style="border-collapse:collapse; width:100%">
<tr><th>Date</th><th>Purpose</th><th>Amount (EUR)</th></tr>
<tr><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>
<tr><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>
<tr><td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>
</table>
<p>Name: ____________________ &nbsp; Signature: ____________________</p>
""")

IMAGES = {
    "first-office.jpg": ["-size", "240x160", "gradient:#C9B79C-#6B4F3A", "-fill", "white", "-pointsize", "18",
                         "-gravity", "center", "-annotate", "0", "Altona, 2009"],
    "map-hamburg.png": ["-size", "200x140", "xc:#EAF2E3", "-stroke", "#4A7BB7", "-strokewidth", "6",
                        "-draw", "line 0,110 200,70", "-stroke", "#C00000", "-strokewidth", "2",
                        "-fill", "#C00000", "-draw", "circle 120,60 126,60"],
    "orgchart.gif": ["-size", "220x120", "xc:white", "-fill", "#DDEBF7", "-stroke", "#1F3864",
                     "-draw", "rectangle 80,10 140,35", "-draw", "rectangle 20,80 80,105",
                     "-draw", "rectangle 140,80 200,105", "-draw", "line 110,35 50,80",
                     "-draw", "line 110,35 170,80"],
    "logo.png": ["-size", "64x64", "xc:none", "-fill", "#1F3864", "-draw", "circle 32,32 32,4",
                 "-fill", "white", "-pointsize", "22", "-gravity", "center", "-annotate", "0", "LH"],
    "banner.jpg": ["-size", "320x60", "gradient:#2E74B5-#DDEBF7", "-fill", "white", "-pointsize", "20",
                   "-gravity", "west", "-annotate", "+12+0", "Intranet"],
    "coffee.png": ["-size", "120x120", "xc:#F4EDE4", "-fill", "#6F4E37", "-draw", "rectangle 35,40 85,100",
                   "-draw", "rectangle 85,55 100,80", "-fill", "#F4EDE4", "-draw", "rectangle 88,60 96,75"],
}

LABELS = [("Onboarding", ["Welcome", "Company/Locations/Hamburg office/Directions", "IT & tools/Accounts"]),
          ("Needs review", ["Projects/Project Aurora/Milestones/Q2 review", "People & policies/Expenses"])]

LINKS = [("People & policies/Travel", "People & policies/Expenses"),
         ("Company/Locations/Remote work", "IT & tools/Accounts/VPN"),
         ("Company/Locations/Hamburg office", "Kitchen & office life/Recipes/Apfelkuchen")]


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def assign_names(nodes, counter):
    """Numbers items depth first, as the host names its storage folders."""
    for n in nodes:
        counter[0] += 1
        n["name"] = str(counter[0])
        assign_names(n["children"], counter)


def storage_path(tree, captions):
    nodes, path = tree, "\\Organizer\\data\\"
    for cap in captions.split("/"):
        node = next(n for n in nodes if n["caption"] == cap)
        path += node["name"] + "\\"
        nodes = node["children"]
    return path


def walk(nodes, parent=()):
    for n in nodes:
        yield parent, n
        yield from walk(n["children"], parent + (n,))


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUT
    assign_names(TREE, [0])
    with tempfile.TemporaryDirectory() as work:
        notes_html = os.path.join(work, "html")
        notes_rtf = os.path.join(work, "rtf")
        os.makedirs(notes_html)
        html_files = []
        for _, n in walk(TREE):
            if n["note"]:
                f = os.path.join(notes_html, "note%s.html" % n["name"])
                with open(f, "w", encoding="utf-8") as fh:
                    fh.write(page(n["caption"], n["note"]))
                html_files.append(f)
        env = dict(os.environ, HOME=work)  # a private office profile, nothing shared
        run(["soffice", "--headless", "--infilter=HTML (StarWriter)", "--convert-to", "rtf",
             "--outdir", notes_rtf] + html_files, env=env)
        pdf_html = os.path.join(work, "Expense form.html")
        with open(pdf_html, "w", encoding="utf-8") as fh:
            fh.write(PDF_HTML)
        run(["soffice", "--headless", "--infilter=HTML (StarWriter)", "--convert-to", "pdf:writer_pdf_Export",
             "--outdir", work, pdf_html], env=env)

        if os.path.exists(out):
            shutil.rmtree(out)
        os.makedirs(out)
        for parents, n in walk(TREE):
            folder = os.path.join(out, *[p["name"] for p in parents], n["name"])
            os.makedirs(folder)
            with open(os.path.join(folder, ".caption"), "w", encoding="utf-8") as fh:
                fh.write(n["caption"] + "\n")
            if n["note"]:
                shutil.copyfile(os.path.join(notes_rtf, "note%s.rtf" % n["name"]),
                                os.path.join(folder, "_~_~_notes.rtf"))
            for f in n["files"]:
                target = os.path.join(folder, f)
                if f in TEXTS:
                    with open(target, "w", encoding="utf-8", newline="") as fh:
                        fh.write(TEXTS[f])
                elif f in IMAGES:
                    run(["convert", "-font", "DejaVu-Sans"] + IMAGES[f] + ["-strip", target])
                elif f == "archive.html":
                    with open(target, "w", encoding="utf-8") as fh:
                        fh.write(ARCHIVE_HTML)
                elif f.endswith(".pdf"):
                    shutil.copyfile(os.path.join(work, "Expense form.pdf"), target)
                else:
                    raise SystemExit("no content for attachment " + f)
            if n["caption"] in ORDER_OVERRIDES:
                names = [next(c["name"] for c in n["children"] if c["caption"] == cap)
                         for cap in ORDER_OVERRIDES[n["caption"]]]
                with open(os.path.join(folder, ".order"), "w", encoding="utf-8") as fh:
                    fh.write("\n".join(names) + "\n")

    with open(os.path.join(out, "__custom_labels.txt"), "w", encoding="utf-8", newline="") as fh:
        for i, (label, items) in enumerate(LABELS, 1):
            fh.write("::Label::\t%d\t#%s\t%s\r\n" % (i, "C00000" if i == 1 else "2E74B5", label))
            for captions in items:
                fh.write(storage_path(TREE, captions) + "\r\n")
            fh.write("\r\n")
    with open(os.path.join(out, "__folder_linktable.txt"), "w", encoding="utf-8", newline="") as fh:
        for a, b in LINKS:
            fh.write(storage_path(TREE, a) + "<::>" + storage_path(TREE, b) + "\r\n")
    count = sum(1 for _ in walk(TREE))
    print("wrote %d items to %s" % (count, out))


if __name__ == "__main__":
    main()
