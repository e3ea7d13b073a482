#include "app/DomainList.h"

namespace {

const char* const DownloadHosts[] = {"youtube.com", "nicovideo.jp"};

const char* const PartlyDownloadHosts[] = {"metacafe.com", "video.yahoo.com"};

const char* const OtherHosts[] = {
    "ustream.tv",
    "blip.tv",
    "break.com",
    "liveleak.com",
    "zoome.jp",
    "stickam.jp",
    "dailymotion.com",
    "vimeo.com",
    "veoh.com",
    "bilibili.com",
    "acfun.cn",
    "youku.com",
    "tudou.com",
    "iqiyi.com",
    "v.qq.com",
    "mgtv.com",
    "tv.sohu.com",
    "ku6.com",
    "56.com",
    "pptv.com",
    "ixigua.com",
    "huya.com",
    "douyu.com",
    "afreecatv.com",
    "tv.naver.com",
    "tv.kakao.com",
    "pandora.tv",
    "rutube.ru",
    "ok.ru",
    "vk.com",
    "smotrim.ru",
    "video.fc2.com",
    "abema.tv",
    "tver.jp",
    "openrec.tv",
    "twitcasting.tv",
    "showroom-live.com",
    "mildom.com",
    "whowatch.tv",
    "mirrativ.com",
    "17.live",
    "pococha.com",
    "live.nicovideo.jp",
    "gyao.yahoo.co.jp",
    "twitch.tv",
    "kick.com",
    "trovo.live",
    "dlive.tv",
    "rumble.com",
    "odysee.com",
    "bitchute.com",
    "vidlii.com",
    "peertube.tv",
    "tiktok.com",
    "likee.video",
    "triller.co",
    "kwai.com",
    "snackvideo.com",
    "coub.com",
    "younow.com",
    "vid.me",
    "streamable.com",
    "vidyard.com",
    "wistia.com",
    "sproutvideo.com",
    "viddler.com",
    "vevo.com",
    "ted.com",
    "archive.org",
    "crackle.com",
    "tubi.tv",
    "pluto.tv",
    "nebula.tv",
    "floatplane.com",
    "curiositystream.com",
    "vidio.com",
    "hotstar.com",
    "zee5.com",
    "mxplayer.in",
    "clipfish.de",
    "myvideo.de",
    "wat.tv",
    "livestream.com",
    "dotsub.com",
    "vbox7.com",
    "videa.hu",
    "sapo.pt",
    "tune.pk",
    "aparat.com",
    "dtube.video",
    "flickr.com",
    "mixer.com",
    "vlive.tv",
    "funnyordie.com",
    "godtube.com",
    "himado.in",
};

const char* const AdultHosts[] = {
    "xtube.com",    "pornhd.com",   "xvideos.com",    "pornhub.com",     "xhamster.com",
    "xnxx.com",     "youporn.com",  "redtube.com",    "tube8.com",       "spankbang.com",
    "eporner.com",  "txxx.com",     "hclips.com",     "tnaflix.com",     "drtuber.com",
    "porntube.com", "sunporno.com", "beeg.com",       "youjizz.com",     "motherless.com",
    "empflix.com",  "4tube.com",    "keezmovies.com", "extremetube.com", "nuvid.com",
    "vporn.com",
};

static_assert(std::size(DownloadHosts) == 2 && std::size(PartlyDownloadHosts) == 2 &&
              std::size(OtherHosts) == 96 && std::size(AdultHosts) == 26);

QStringList buildDomainRows() {
    QStringList rows;
    const auto group = [&rows](const char* header, const auto& hosts, const QString& suffix) {
        rows << QString::fromUtf8(header);
        for (const char* host : hosts)
            rows << QString::fromLatin1(host) + suffix;
    };
    group("<ダウンロード対応サイト>", DownloadHosts, QString());
    rows << QString();
    group("<ダウンロード準対応サイト>", PartlyDownloadHosts, QString());
    rows << QString();
    group("<ダウンロード非対応サイト>", OtherHosts, QString());
    rows << QString();
    group("<ダウンロード非対応サイト(アダルト)>", AdultHosts, QStringLiteral("\t"));
    return rows;
}

} // namespace

const QStringList& domainRows() {
    static const QStringList rows = buildDomainRows();
    return rows;
}
