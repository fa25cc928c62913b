// The pages that the browser tests serve on 127.0.0.1.
#include "TestPages.h"

#include <QSet>

#include <cmath>

QByteArray page(const QByteArray& title, const QByteArray& body)
{
    return "<!doctype html><title>" + title + "</title>" + body;
}

namespace {
QByteArray wave()
{
    // One second of a 440 Hz tone, 8 kHz mono 16 bit.
    QByteArray samples;
    for (int i = 0; i < 8000; ++i) {
        const qint16 value = qint16(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
        samples.append(reinterpret_cast<const char*>(&value), 2);
    }
    auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    return "RIFF" + le32(36 + quint32(samples.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(8000) + le32(16000) + le16(2) + le16(16) + "data" + le32(quint32(samples.size())) +
           samples;
}

// Hostile pages for the hidden instance. Every script first sends a beacon to /beacon/..., so
// that a script that ran shows in the server's requests. Frames named with ?port= come from
// another site (localhost against 127.0.0.1).
HttpResponse noStatePrefetchPage(const QString& path)
{
    HttpResponse response;
    const QString name = path.section(QLatin1Char('?'), 0, 0).mid(4);
    const QByteArray port = path.section(QLatin1String("port="), 1).toLatin1();
    auto beacon = [&](const char* script) {
        return "<script>navigator.sendBeacon('/beacon/" + name.toLatin1() + "');" +
               QByteArray(script) + "</script>";
    };
    auto crossSiteFrame = [&](const char* inner) {
        return page(name.toLatin1(),
                    "<iframe src=\"http://localhost:" + port + "/np/" + inner + "\"></iframe>");
    };
    auto sameSiteFrame = [&](const char* inner) {
        return page(name.toLatin1(), "<iframe src=\"/np/" + QByteArray(inner) + "\"></iframe>");
    };
    if (name == QLatin1String("location-mailto")) {
        response.body = page("mailto", beacon("location = 'mailto:someone@example.org'"));
    } else if (name == QLatin1String("frame-mailto")) {
        response.body = page("mailto", "<iframe src=\"mailto:someone@example.org\"></iframe>");
    } else if (name == QLatin1String("redirect-mailto")) {
        response.status = 302;
        response.headers = {{"Location", "mailto:someone@example.org"}};
    } else if (name == QLatin1String("refresh-mailto")) {
        response.body = page("refresh", "<meta http-equiv=refresh "
                                        "content=\"0; url=mailto:someone@example.org\">");
    } else if (name == QLatin1String("frame-clicks-download")) {
        response.body = crossSiteFrame("inner-clicks-download");
    } else if (name == QLatin1String("same-site-frame-clicks-download")) {
        response.body = sameSiteFrame("inner-clicks-download");
    } else if (name == QLatin1String("same-site-frame-goes-to-attachment")) {
        response.body = sameSiteFrame("inner-goes-to-attachment");
    } else if (name == QLatin1String("inner-clicks-download")) {
        response.body = page("inner", "<a id=a href=\"/attachment\" download>get</a>" +
                                          beacon("document.getElementById('a').click()"));
    } else if (name == QLatin1String("frame-goes-to-attachment")) {
        response.body = crossSiteFrame("inner-goes-to-attachment");
    } else if (name == QLatin1String("inner-goes-to-attachment")) {
        response.body = page("inner", beacon("location = '/attachment'"));
    } else if (name == QLatin1String("busy")) {
        response.body =
            page("busy", beacon("const end = Date.now() + 60000; while (Date.now() < end) {}"));
    } else if (name == QLatin1String("binary.txt")) {
        response.contentType = "text/plain";
        for (int i = 0; i < 4096; ++i)
            response.body.append(char(i % 256));
    } else if (name == QLatin1String("frame-audio")) {
        response.body = crossSiteFrame("inner-audio");
    } else if (name == QLatin1String("inner-audio")) {
        response.body = page("inner", beacon("const c = new AudioContext(); c.resume();"
                                             "const o = c.createOscillator();"
                                             "o.connect(c.destination); o.start()"));
    } else if (name == QLatin1String("analytics")) {
        response.body = page("analytics", "<img src=\"/np/pixel.svg\">" +
                                              beacon("new Image().src = '/beacon/image';"
                                                     "fetch('/beacon/fetch');"
                                                     "document.title = 'script ran'"));
    } else if (name == QLatin1String("pixel.svg")) {
        response.contentType = "image/svg+xml";
        response.body = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\"/>";
    } else {
        response.status = 404;
        response.body = page("missing");
    }
    return response;
}
} // namespace

HttpResponse respond(const QString& path)
{
    HttpResponse response;
    const QByteArray name = path.toLatin1();
    if (path.startsWith(QLatin1String("/page/"))) {
        response.body = page(name.mid(6));
    } else if (path.startsWith(QLatin1String("/status/"))) {
        response.status = path.mid(8).toInt();
        response.body = page("status " + name.mid(8));
    } else if (path == QLatin1String("/redirect")) {
        response.status = 302;
        response.headers = {{"Location", "/final"}};
    } else if (path == QLatin1String("/final")) {
        response.body = page("final");
    } else if (path == QLatin1String("/no-content")) {
        response.status = 204; // the page before stays, and nothing loads
        response.body.clear();
    } else if (path == QLatin1String("/attachment")) {
        response.contentType = "text/plain";
        response.headers = {
            {"Content-Disposition", "attachment; filename=\"quillon-download.txt\""}};
        response.body = "saved text";
    } else if (path == QLatin1String("/archive.zip")) {
        response.contentType = "application/zip";
        response.body = "PK\x03\x04 not really an archive";
    } else if (path == QLatin1String("/download-link")) {
        response.body = page("link", "<a id=a href=\"/attachment\">get</a>"
                                     "<script>document.getElementById('a').click()</script>");
    } else if (path == QLatin1String("/download-attribute")) {
        response.body = page("save as", "<a id=a href=\"/attachment\" download>get</a>"
                                        "<script>document.getElementById('a').click()</script>");
    } else if (path == QLatin1String("/blob-download")) {
        response.body = page("blob", "<script>const a = document.createElement('a');"
                                     "a.href = URL.createObjectURL(new Blob(['x'.repeat(100000)]));"
                                     "a.download = 'quillon-download-blob.txt';"
                                     "document.body.append(a); a.click()</script>");
    } else if (path == QLatin1String("/alert")) {
        response.body =
            page("alert", "<script>alert('hello'); document.title = 'dismissed'</script>");
    } else if (path == QLatin1String("/confirm")) {
        response.body =
            page("confirm", "<script>document.title = 'answered ' + confirm('sure?')</script>");
    } else if (path == QLatin1String("/prompt")) {
        response.body =
            page("prompt", "<script>document.title = 'answered ' + prompt('name?')</script>");
    } else if (path == QLatin1String("/beforeunload")) {
        response.body = page("stay", "<script>onbeforeunload = (e) => { e.preventDefault(); "
                                     "return e.returnValue = 'stay'; }</script>");
    } else if (path == QLatin1String("/popup")) {
        response.body =
            page("popup", "<script>window.open('/page/opened', '_blank'); "
                          "window.open('/page/opened-window', 'w', 'width=300')</script>");
    } else if (path == QLatin1String("/sound")) {
        response.body = page("sound", "<audio autoplay loop src=\"/tone.wav\"></audio><script>"
                                      "window.tone = new Audio('/tone.wav'); tone.loop = true;"
                                      "tone.play().catch(() => {});"
                                      "window.context = new AudioContext(); context.resume();"
                                      "</script>");
    } else if (path == QLatin1String("/tone.wav")) {
        response.contentType = "audio/wav";
        response.body = wave();
    } else if (path == QLatin1String("/permission")) {
        response.body = page("permission", "<script>Notification.requestPermission();"
                                           "navigator.geolocation.getCurrentPosition(() => {}, "
                                           "() => {})</script>");
    } else if (path == QLatin1String("/forged-keys")) {
        // Everything a page's script can do to look like the step keys.
        response.body = page("forging", R"(<input id=field><script>
            const right = () => new KeyboardEvent('keydown', {key: 'F9', code: 'F9',
                keyCode: 120, bubbles: true, cancelable: true});
            onload = () => {
              for (const target of [window, document, document.body, field])
                target.dispatchEvent(right());
              field.focus();
              field.dispatchEvent(right());
              try { quillonStepKey('right'); } catch (e) {}
              document.title = 'forged';
            };</script>)");
    } else if (path.startsWith(QLatin1String("/kept/"))) {
        // Pages whose documents may not be cached; their picture may.
        const QByteArray name = path.toLatin1().mid(6);
        if (name == "picture.svg") {
            response.contentType = "image/svg+xml";
            response.headers = {{"Cache-Control", "max-age=3600"}};
            response.body = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"7\" height=\"5\"/>";
        } else if (name == "cacheable") {
            response.headers = {{"Cache-Control", "max-age=3600"}};
            response.body = page(name, "<script>document.title = 'script ran'</script>");
        } else if (name.startsWith("redirect")) {
            response.status = 302;
            response.headers = {{"Location", "/kept/no-cache-redirected"}};
        } else if (name.startsWith("no-cache-run-")) {
            // Tells the server that its script ran, and writes a cookie when its name says so.
            // One whose name ends in 503 declines its first request: the load ahead.
            static QSet<QByteArray> asked;
            response.status = name.endsWith("503") && !asked.contains(name) ? 503 : 200;
            asked.insert(name);
            response.headers = {{"Cache-Control", "no-cache"}};
            const QByteArray script =
                QByteArray(name.contains("-writes-") ? "document.cookie = 'seen=' + Date.now();"
                                                     : "") +
                "navigator.sendBeacon('/beacon/kept/" + name +
                "'); document.title = 'script ran ' + document.title";
            response.body = page(name, "<script>" + script + "</script>");
        } else {
            response.headers = {
                {"Cache-Control", name.startsWith("no-store") ? "no-store" : "no-cache"},
                {"Set-Cookie", "kept=" + name + "; Path=/"}};
            response.body = page(name, "<img id=picture src=\"/kept/picture.svg\"><script>"
                                       "document.title = 'script ran ' + document.title"
                                       "</script>");
        }
    } else if (path.startsWith(QLatin1String("/leaving/"))) {
        // Logs out in its handler of the event of its name, as it is left.
        const QByteArray event = name.mid(9);
        const QByteArray target = event == "navigate" ? "navigation" : "window";
        response.body = page("leaving", "<script>" + target + ".addEventListener('" + event +
                                            "', () => document.cookie = "
                                            "'session=; Max-Age=0; Path=/')</script>");
    } else if (path.startsWith(QLatin1String("/back/"))) {
        // /back/<Cache-Control>/<name>
        response.headers = {{"Cache-Control", path.section(QLatin1Char('/'), 2, 2).toLatin1()}};
        response.body = page(path.section(QLatin1Char('/'), 3).toLatin1());
    } else if (path.startsWith(QLatin1String("/np/"))) {
        response = noStatePrefetchPage(path);
    } else {
        response.status = 404;
        response.body = page("missing");
    }
    return response;
}
