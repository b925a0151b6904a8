"""The stand-in's own checks, run by CTest with Python: strict form parsing, the login
response, and the refusals the client's tests rely on."""

import hashlib
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "standin"))
import formdata  # noqa: E402
import service  # noqa: E402

B = b"0123456789ABCDEF0123456789ABCDEF"


def field(name, value):
    return b"--" + B + b'\r\nContent-Disposition: form-data; name="' + name + b'"\r\n\r\n' + \
        value + b"\r\n"


def image(data, ctype=b"image/jpeg"):
    return (b"--" + B + b'\r\nContent-Disposition: form-data; name="image"; filename="a.jpg"'
            b"\r\nContent-Type: " + ctype + b"\r\n\r\n" + data + b"\r\n")


END = b"--" + B + b"--\r\n"


class FormParsing(unittest.TestCase):
    def test_well_formed_body_gives_parts_in_order(self):
        parts = formdata.parse(image(b"\xff\xd8\xff\r\n--x") + field(b"A", b"") +
                               field(b"B", "ж".encode()) + END, B)
        self.assertEqual([p.name for p in parts], ["image", "A", "B"])
        self.assertEqual(parts[0].data, b"\xff\xd8\xff\r\n--x")
        self.assertEqual(parts[1].data, b"")
        self.assertEqual(parts[2].text(), "ж")
        self.assertEqual(formdata.parse(END, B), [])

    def test_refusals(self):
        bad = [b"", field(b"A", b"1"), b"x" + field(b"A", b"1") + END,
               field(b"A", b"1") + b"--" + B + b"--junk",
               b"--" + B + b"\r\nContent-Disposition: form-data\r\n\r\nv\r\n" + END,
               b"--" + B + b"\r\nX: y\r\n\r\nv\r\n" + END,
               b"--" + B + b'\r\nContent-Disposition: form-data; name="A"\r\nv\r\n' + END]
        for body in bad:
            with self.assertRaises(formdata.FormError, msg=body):
                formdata.parse(body, B)

    def test_boundary_from_header(self):
        self.assertEqual(formdata.boundary_of("multipart/form-data; boundary=" + B.decode()), B)
        for header in (None, "text/plain", "multipart/form-data", "multipart/form-data; boundary="):
            with self.assertRaises(formdata.FormError):
                formdata.boundary_of(header)


class Service(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.svc = service.Service(self.dir.name, "http://h")

    def tearDown(self):
        self.dir.cleanup()

    def call(self, path, body):
        status, _, data = self.svc.handle("POST", path, formdata.parse(body, B))
        return status, data.decode("utf-8")

    def test_login_accepts_only_the_right_hash(self):
        self.svc.add_account("ваня", "пароль", albums=2)
        _, step1 = self.call(service.LOGIN1_PATH, field(b"RESPTYPE", b"xml") + END)
        cid = step1.split("<Id>")[1].split("</Id>")[0]
        block = step1.split("<Val>")[1].split("</Val>")[0]
        digest = hashlib.sha1("пароль".encode()).hexdigest()
        good = hashlib.sha1(bytes.fromhex(block + digest)).hexdigest()
        self.assertEqual(service.password_response(block, "пароль"), good)
        form = lambda h: (field(b"LOGIN", "ваня".encode()) + field(b"IDRNDBLOCK", cid.encode()) +
                          field(b"HASHPASS", h.encode()) + field(b"RESPTYPE", b"xml") + END)
        _, wrong = self.call(service.LOGIN2_PATH, form("0" * 40))
        self.assertIn("<Code>", wrong)  # and the challenge is spent
        _, again = self.call(service.LOGIN2_PATH, form(good))
        self.assertIn("<Code>11</Code>", again)

    def test_named_albums_untitled_ones_and_block_length(self):
        uid = self.svc.add_account("u", "p", titles=["b", "A", "a"], untitled={2})
        _, text = self.call(service.ALBUMS_PATH, field(b"USER_OWNER_ID", uid.encode()) +
                            field(b"USER_ID", uid.encode()) + field(b"USER_TICKET", b"t") +
                            field(b"RESPTYPE", b"xml") + END)
        self.assertIn("<Code>6</Code>", text)  # no valid ticket yet
        self.svc.add_ticket("t", uid)
        _, text = self.call(service.ALBUMS_PATH, field(b"USER_OWNER_ID", uid.encode()) +
                            field(b"USER_ID", uid.encode()) + field(b"USER_TICKET", b"t") +
                            field(b"RESPTYPE", b"xml") + END)
        self.assertEqual(text.count("<PubFAlb>"), 3)
        self.assertEqual(text.count("<Title>"), 2)
        self.assertLess(text.index("<Title>b</Title>"), text.index("<Title>a</Title>"))
        self.svc.set_block_digits(158)
        _, step1 = self.call(service.LOGIN1_PATH, field(b"RESPTYPE", b"xml") + END)
        self.assertEqual(len(step1.split("<Val>")[1].split("</Val>")[0]), 158)

    def test_upload_refusals(self):
        ok = field(b"UID", b"u") + field(b"SID", b"s") + field(b"RESPTYPE", b"xml")
        _, text = self.call(service.UPLOAD_PATH, image(b"\xff\xd8\xff1") + ok + END)
        self.assertIn("<Err/>", text)
        self.assertIn("<ImgPreviewXUrl>http://h/px/", text)
        pid = text.split("<Id>")[1].split("</Id>")[0]
        for prefix in ("/i/", "/p/", "/px/"):  # the addresses really serve the picture
            self.assertEqual(self.svc.get(prefix + pid + ".jpg"),
                             (200, "image/jpeg", b"\xff\xd8\xff1"))
        self.assertEqual(self.svc.get("/i/nothing.jpg")[0], 404)
        for body, code in ((ok + END, 3), (image(b"GIF") + ok + END, 4),
                           (image(b"\xff\xd8\xff", b"image/png") + ok + END, 4),
                           (image(b"\xff\xd8\xff") + field(b"USER_ID", b"1") + ok + END, 6),
                           (image(b"\xff\xd8\xff") + field(b"ISPUBLIC", b"yes") + ok + END, 9)):
            _, text = self.call(service.UPLOAD_PATH, body)
            self.assertIn("<Code>%d</Code>" % code, text)
        status, _ = self.call(service.UPLOAD_PATH, image(b"\xff\xd8\xff") + END)
        self.assertEqual(status, 400)  # no RESPTYPE=xml

    def test_version_page_for_now_then_standing(self):
        page = lambda: self.call(service.VERSION_PATH, END)[1]
        self.svc.set_version("3", "2", "http://h/setup.exe")
        self.svc.set_version("4", "x", 'file:///C:/a&b "c"', times=2)
        for _ in range(2):
            self.assertIn("<minornum>x</minornum><pathupd>file:///C:/a&amp;b \"c\"</pathupd>",
                          page())
        self.assertIn("<majornum>3</majornum><minornum>2</minornum>", page())
        self.svc.set_version("5", "0", "")
        self.assertIn("<majornum>5</majornum>", page())

    def test_tag_list_follows_the_set_tags_by_prefix_and_page_size(self):
        self.svc.set_tags(["Кот", "кошка", "cat"])
        self.svc.set_tags(["Кол"], append=True)
        form = lambda token, size: (field(b"RESPTYPE", b"xml") + field(b"SUBSTR_TAG", token) +
                                    field(b"PAGESIZE", size) + END)
        _, text = self.call(service.TAGS_PATH, form("ко".encode(), b"2"))
        self.assertEqual(text.count("<TagVal>"), 2)
        self.assertIn("<TagVal>Кот</TagVal>", text)
        _, text = self.call(service.TAGS_PATH, form("кол".encode(), b"50"))
        self.assertIn("<TagVal>Кол</TagVal>", text)
        self.assertNotIn("cat", text)


if __name__ == "__main__":
    unittest.main()
