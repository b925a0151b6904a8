"""The photo service's behaviour: accounts with the challenge-and-response login, albums,
tags, picture uploads and the version page. Every handler takes the parsed form (a list of
formdata.Part) and returns (status, content_type, body bytes).

Answers use the service's envelope: <OperationResult><Err/><Result>...</Result>
</OperationResult>, with Err holding Code and Msg when a request is refused.
"""

import hashlib
import os
import secrets
import threading
from xml.sax.saxutils import escape

UPLOAD_PATH = "/api3/rest/uplimg/prepared"
LOGIN1_PATH = "/api3/rest/login/step1"
LOGIN2_PATH = "/api3/rest/login/step2"
ALBUMS_PATH = "/api3/rest/getfalb/page/useriddate"
TAGS_PATH = "/api3/rest/getimgtag/substr"
VERSION_PATH = "/clients/shext2/lastvinfo.aspx"

# Fields of an upload that must read as an integer or a boolean when present.
_INT_FIELDS = ("MAXSIZEIMG", "ROTATIONIMG", "JPGQUALITY", "MAXSIZEIMGPREV", "ORIGIMGLENGTH",
               "ORIGIMGWIDTH", "ORIGIMGHEIGHT", "FROMOBJECT")
_BOOL_FIELDS = ("ISRESIZEIMG", "ISOPTIMIZEFORMAT", "ISOPTIMIZEDFORMAT", "ISROTATIONIMG",
                "ISINSCRIMG", "ISINSCRIMGPREV", "ISPUBLIC")

_MAGIC = ((b"\xff\xd8\xff", "jpg", "image/jpeg"), (b"\x89PNG\r\n\x1a\n", "png", "image/png"),
          (b"GIF8", "gif", "image/gif"), (b"BM", "bmp", "image/bmp"))


def picture_kind(data):
    for magic, ext, mime in _MAGIC:
        if data.startswith(magic):
            return ext, mime
    return None


def envelope(result_xml="", code=0, msg=None, err=True):
    if not err:
        err_xml = ""
    elif code == 0 and msg is None:
        err_xml = "<Err/>"
    else:
        err_xml = "<Err><Code>%d</Code><Msg>%s</Msg></Err>" % (code, escape(msg or ""))
    return ('<?xml version="1.0" encoding="utf-8"?>\r\n<OperationResult>%s<Result>%s</Result>'
            '</OperationResult>' % (err_xml, result_xml)).encode("utf-8")


def refusal(code, msg):
    return 200, "text/xml; charset=utf-8", envelope(code=code, msg=msg)


def answer(result_xml):
    return 200, "text/xml; charset=utf-8", envelope(result_xml)


def element(name, text):
    return "<%s>%s</%s>" % (name, escape(text), name)


def fields_of(parts):
    """Text fields by name (the first of each name) and the file parts."""
    fields, files = {}, []
    for p in parts:
        if p.filename is not None:
            files.append(p)
        else:
            try:
                fields.setdefault(p.name, p.text())
            except UnicodeDecodeError:
                fields.setdefault(p.name, None)
    return fields, files


def password_response(block_hex, password):
    """What the client must send as HASHPASS for this block and password."""
    digest = hashlib.sha1(password.encode("utf-8")).digest()
    return hashlib.sha1(bytes.fromhex(block_hex) + digest).hexdigest()


class Service:
    def __init__(self, picture_dir, public_base):
        self.picture_dir = picture_dir
        self.public_base = public_base  # "http://host:port", prefix of returned addresses
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            self.accounts = {}    # login -> {"password", "id", "albums": [(id, title)]}
            self.tickets = {}     # ticket -> user id
            self.challenges = {}  # challenge id -> random block (hex)
            self.block_digits = 40  # length of the random block's hex text in step 1
            self.pictures = {}    # picture id -> (path, mime)
            self.tags = ["природа", "пейзаж", "море", "portrait", "port", "party"]
            self.version = {"major": "3", "minor": "1", "path": "http://127.0.0.1/setup.exe"}
            self.version_for_now = None  # (version, requests left), served before the standing one
        for name in os.listdir(self.picture_dir):
            os.remove(os.path.join(self.picture_dir, name))

    # Control: accounts and version -------------------------------------------------

    def add_account(self, login, password, albums=0, user_id=None, titles=None, untitled=()):
        """`titles` (optional) names the albums in the service's order instead of `albums`
        numbered ones; albums at the 1-based positions in `untitled` come without a Title
        element, as a broken record of the service would."""
        with self.lock:
            uid = user_id or str(1000 + len(self.accounts))
            names = titles if titles else ["Альбом %d" % i for i in range(1, albums + 1)]
            album_list = [("a%s_%d" % (uid, i), None if i in untitled else t)
                          for i, t in enumerate(names, 1)]
            self.accounts[login] = {"password": password, "id": uid, "albums": album_list}
            return uid

    def add_ticket(self, ticket, uid):
        with self.lock:
            self.tickets[ticket] = uid

    def set_tags(self, tags, append=False):
        with self.lock:
            self.tags = (self.tags if append else []) + list(tags)

    def set_block_digits(self, digits):
        with self.lock:
            self.block_digits = digits

    def set_version(self, major, minor, path, times=0):
        """The version page's answer: for good, or (times > 0) for the next `times` version
        requests only, after which the standing answer comes back. The texts are served as
        given, so a test can also publish a non-numeric number or any update path."""
        with self.lock:
            version = {"major": major, "minor": minor, "path": path}
            if times > 0:
                self.version_for_now = (version, times)
            else:
                self.version, self.version_for_now = version, None

    # Requests ----------------------------------------------------------------------

    def handle(self, method, path, parts):
        """Answer of a service path, or None when the path is not one of the service's."""
        if method == "GET":
            return self.get(path)
        handlers = {UPLOAD_PATH: self.upload, LOGIN1_PATH: self.login1, LOGIN2_PATH: self.login2,
                    ALBUMS_PATH: self.albums, TAGS_PATH: self.tag_list,
                    VERSION_PATH: self.version_page}
        handler = handlers.get(path)
        if handler is None:
            return None
        fields, files = fields_of(parts)
        if path != VERSION_PATH and fields.get("RESPTYPE") != "xml":
            return 400, "text/plain", b"RESPTYPE must be xml\n"
        return handler(fields, files)

    def user_of(self, fields):
        """(ok, user id or None): the sender's identity when it sent one, checked."""
        uid, ticket = fields.get("USER_ID"), fields.get("USER_TICKET")
        if uid is None and ticket is None:
            return True, None
        with self.lock:
            return (ticket is not None and self.tickets.get(ticket) == uid), uid

    def upload(self, fields, files):
        known, uid = self.user_of(fields)
        if not known:
            return refusal(6, "Неверный билет пользователя")
        if not fields.get("UID") or not fields.get("SID"):
            return refusal(5, "Не указан клиент")
        for name in _INT_FIELDS:
            if name in fields and not _is_int(fields[name]):
                return refusal(9, "Неверное значение поля " + name)
        for name in _BOOL_FIELDS:
            if name in fields and fields[name] not in ("true", "false"):
                return refusal(9, "Неверное значение поля " + name)
        if "COEFFRESIZEIMG" in fields and not _is_float(fields["COEFFRESIZEIMG"]):
            return refusal(9, "Неверное значение поля COEFFRESIZEIMG")
        images = [f for f in files if f.name == "image"]
        if len(images) != 1 or not images[0].data:
            return refusal(3, "Нет изображения")
        image = images[0]
        kind = picture_kind(image.data)
        if image.content_type != "image/jpeg" or kind is None:
            return refusal(4, "Файл не является изображением")
        # "noalb" (no album chosen yet) and "noall" (the "pictures without album" entry)
        # both mean: no album.
        album = fields.get("IDALBUM", "noalb")
        if album not in ("", "noalb", "noall") and not self.owns_album(uid, album):
            return refusal(8, "Альбом не найден")
        ext, mime = kind
        pid = secrets.token_hex(8)
        stored = os.path.join(self.picture_dir, pid + "." + ext)
        with open(stored, "wb") as f:
            f.write(image.data)
        with self.lock:
            self.pictures[pid] = (stored, mime)
            for tag in (fields.get("TAGS") or "").split(","):
                if tag.strip() and tag.strip() not in self.tags:
                    self.tags.append(tag.strip())
        base = self.public_base
        return answer(element("Id", pid) + element("ImgUrl", "%s/i/%s.%s" % (base, pid, ext)) +
                      element("ImgPreviewUrl", "%s/p/%s.%s" % (base, pid, ext)) +
                      element("ImgPreviewXUrl", "%s/px/%s.%s" % (base, pid, ext)))

    def owns_album(self, uid, album):
        with self.lock:
            return any(a["id"] == uid and any(i == album for i, _ in a["albums"])
                       for a in self.accounts.values())

    def login1(self, fields, files):
        with self.lock:
            digits = self.block_digits
        block = secrets.token_hex((digits + 1) // 2)[:digits]
        cid = secrets.token_hex(8)
        with self.lock:
            self.challenges[cid] = block
        return answer(element("Id", cid) + element("Val", block))

    def login2(self, fields, files):
        login, cid, sent = fields.get("LOGIN"), fields.get("IDRNDBLOCK"), fields.get("HASHPASS")
        with self.lock:
            block = self.challenges.pop(cid or "", None)  # a challenge answers once
            account = self.accounts.get(login or "")
        if block is None:
            return refusal(11, "Устаревший запрос авторизации")
        if account is None or sent != password_response(block, account["password"]):
            return refusal(12, "Неверное имя пользователя или пароль")
        ticket = secrets.token_hex(16)
        with self.lock:
            self.tickets[ticket] = account["id"]
        return answer(element("Id", account["id"]) + element("Ticket", ticket))

    def albums(self, fields, files):
        known, uid = self.user_of(fields)
        if not known or uid is None:
            return refusal(6, "Неверный билет пользователя")
        owner = fields.get("USER_OWNER_ID")
        size, page = _int_or(fields.get("PAGESIZE"), 20), _int_or(fields.get("PAGENUM"), 1)
        with self.lock:
            owned = [a for acc in self.accounts.values() if acc["id"] == owner
                     for a in acc["albums"]]
        chosen = owned[(page - 1) * size:page * size] if size > 0 and page > 0 else []
        return answer("".join("<PubFAlb>%s%s</PubFAlb>" % (
            element("Id", i), "" if t is None else element("Title", t)) for i, t in chosen))

    def tag_list(self, fields, files):
        token = (fields.get("SUBSTR_TAG") or "").lower()
        size = _int_or(fields.get("PAGESIZE"), 50)
        with self.lock:
            found = [t for t in self.tags if token and t.lower().startswith(token)][:max(size, 0)]
        return answer("".join("<PubImgTag>%s</PubImgTag>" % element("TagVal", t) for t in found))

    def version_page(self, fields, files):
        with self.lock:
            v = dict(self.version)
            if self.version_for_now:
                v, left = self.version_for_now
                self.version_for_now = (v, left - 1) if left > 1 else None
        body = ('<?xml version="1.0" encoding="utf-8"?><info>%s%s%s</info>' % (
            element("majornum", v["major"]), element("minornum", v["minor"]),
            element("pathupd", v["path"]))).encode("utf-8")
        return 200, "text/xml; charset=utf-8", body

    def get(self, path):
        """Stored pictures (/i/, /p/, /px/) and the picture pages (/F/...html)."""
        for prefix in ("/i/", "/p/", "/px/"):
            if path.startswith(prefix):
                pid = path[len(prefix):].split(".")[0]
                with self.lock:
                    stored = self.pictures.get(pid)
                if stored is None:
                    return 404, "text/plain", b"no such picture\n"
                with open(stored[0], "rb") as f:
                    return 200, stored[1], f.read()
        if path.startswith("/F/") and path.endswith(".html"):
            picture = "http://" + path[3:-5]
            page = '<!DOCTYPE html><html><body><img src="%s"></body></html>' % escape(picture)
            return 200, "text/html; charset=utf-8", page.encode("utf-8")
        return None


def _is_int(text):
    try:
        int(text, 10)
        return True
    except (TypeError, ValueError):
        return False


def _is_float(text):
    try:
        float(text.rstrip("."))
        return True
    except (AttributeError, ValueError):
        return False


def _int_or(text, default):
    return int(text, 10) if _is_int(text) else default
