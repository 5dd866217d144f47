#!/usr/bin/python3
"""Reads a piano roll with a real XML parser, which refuses anything that is not well-formed XML,
and prints what the tests look at, one element a line:

    svg WIDTH HEIGHT
    note WIDTH TITLE      one per bar, in the order they are drawn, with the text of its title
    gate                  one per gate mark
    gates                 a band where the marks would blur
"""
import sys
import xml.etree.ElementTree as ET


def name(element):
    return element.tag.rsplit("}", 1)[-1]  # without the SVG namespace


root = ET.parse(sys.argv[1]).getroot()
if name(root) != "svg":
    sys.exit("the root element is <%s>, not <svg>" % name(root))
print("svg", root.get("width"), root.get("height"))
for element in root.iter():
    kind = element.get("class")
    if kind == "note":
        titles = [child for child in element if name(child) == "title"]
        print("note", element.get("width"), titles[0].text if titles else "")
    elif kind in ("gate", "gates"):
        print(kind)
