#!/usr/bin/python3
"""Stand-in for the firmware update's next step, for the demo and the tests
only: shows what the Update Firmware form posted. Each field of the
multipart form is listed in the table "fields"; a file field with its file
name, size and md5sum."""

import email.parser
import email.policy
import hashlib
import html
import os
import sys


def read_body():
    length = int(os.environ.get("CONTENT_LENGTH") or 0)
    return sys.stdin.buffer.read(length) if length > 0 else b""


def parse_form(content_type, body):
    """The fields of a multipart/form-data body as (name, file name or None,
    bytes), in the order sent; None when the body is not multipart."""
    head = ("Content-Type: %s\r\n\r\n" % content_type).encode("latin-1")
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(head + body)
    if not message.is_multipart():
        return None
    fields = []
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        data = part.get_payload(decode=True) or b""
        fields.append((name, part.get_filename(), data))
    return fields


def row(cells, attributes=""):
    return "<tr%s>%s</tr>" % (attributes, "".join(cells))


def main():
    method = os.environ.get("REQUEST_METHOD", "")
    # One line a run, so that the tests see whether a request reached it.
    try:
        with open("/tmp/updatefirmwarechecksum.runs", "a") as runs:
            runs.write(method + "\n")
    except OSError:
        pass
    content_type = os.environ.get("CONTENT_TYPE", "")
    fields = parse_form(content_type, read_body()) if method == "POST" else None

    e = html.escape
    out = [
        '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01//EN" "http://www.w3.org/TR/html4/strict.dtd">',
        "<html>",
        "<head>",
        '<meta http-equiv="content-type" content="text/html;charset=iso-8859-1">',
        "<title>OVIX Web Server - Checksum</title>",
        '<link href="/css/all.css" rel="stylesheet" media="screen">',
        "</head>",
        "<body>",
        '<p><img src="/images/torvane.jpg" alt="TORVANE AG" align="left">'
        '<img src="/images/vantor.gif" alt="VANTOR" align="right"></p>',
        '<div style="clear:both"></div>',
        '<div class="navi"><a class="small" href="/index.html">Home</a> / '
        '<a class="small" href="updatefirmwareform.cgi">UpdateFirmware</a> / <span class="small">Checksum</span></div>',
        "<h2>Checksum</h2>",
        '<div class="description"><p>Stand-in of the update\'s next step: it shows what the '
        "form posted and changes nothing on the device.</p></div>",
        '<div class="content">',
        '<p id="request">%s %s</p>' % (e(method), e(content_type)),
    ]
    if fields is None:
        out.append('<p class="warn" id="summary">No multipart form was posted.</p>')
    else:
        names = [name for name, _, _ in fields]
        values = {name: data for name, _, data in fields}
        if "submit" in names:
            image = next((f for f in fields if f[0] == "imagefile"), None)
            md5 = hashlib.md5(image[2]).hexdigest() if image else ""
            out.append('<p id="summary">md5sum of the image file: <b>%s</b>, image type: <b>%s</b></p>'
                       % (md5, e(values.get("imagetype", b"").decode("latin-1"))))
        elif "resetbootflag" in names:
            out.append('<p id="summary">Reset of the SYSTEM IMAGE flag requested</p>')
        elif "resetappflag" in names:
            out.append('<p id="summary">Reset of the APPLICATION IMAGE flag requested</p>')
        else:
            out.append('<p class="warn" id="summary">No button named in the form.</p>')
        out.append('<table id="fields">')
        out.append(row(["<td><b>%s</b></td>" % h for h in
                        ("Field", "Value", "File name", "Size", "md5sum")]))
        for name, filename, data in fields:
            if filename is None:
                cells = (name, data.decode("latin-1"), "", "", "")
            else:
                cells = (name, "", filename, str(len(data)), hashlib.md5(data).hexdigest())
            classes = ("name", "value", "filename", "size", "md5")
            out.append(row(['<td class="%s">%s</td>' % (c, e(t or "")) for c, t in zip(classes, cells)],
                           ' class="field"'))
        out.append("</table>")
    out += ["</div>", "</body>", "</html>"]

    sys.stdout.write("Content-Type: text/html\r\n\r\n")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
