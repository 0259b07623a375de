"""ATOK 2012's dictionary-set layout, as the test scripts build and read it."""

ROOT = "Software\\Justsystem\\ATOK\\25.0\\Profile\\"
PROFILES = ["Atkms", "Atkmsi", "Atmswd", "Atmsxl", "Atokit", "Atokw", "Atwd", "Atxl", "User0"]
SYSTEM_DIC = "ON,0,C:\\Program Files\\JustSystems\\ATOK25\\ATOK25.DIC"
OTHER_DIC = "ON,0,C:\\DICS\\MEDICAL.DIC"


def slot(k):
    """Slot names end in a full-width digit: U+FF11 for 1."""
    return "システム辞書" + chr(0xFF10 + k)


def set_key(profile, n):
    return ROOT + profile + "\\DicSet" + str(n)
