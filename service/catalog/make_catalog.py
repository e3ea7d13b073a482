#!/usr/bin/env python3
"""Writes catalog.tsv, the bundled service's video catalogue.

Every title, description and site below is made up for the catalogue; the same seed always
writes the same file. Run it from anywhere: python3 service/catalog/make_catalog.py
"""

import random
from pathlib import Path

SEED = 20261210
COUNT = 420

# host, name as the site writes it (the answer's Copyright), weight, adult site
SITES = [
    ("youtube.com", "Youtube", 30, False),
    ("nicovideo.jp", "ニコニコ動画", 20, False),
    ("video.yahoo.com", "Yahoo! Video", 10, False),
    ("metacafe.com", "metacafe", 8, False),
    ("dougabako.jp", "動画箱", 8, False),
    ("kumoplay.net", "KumoPlay", 6, False),
    ("sakuravid.jp", "さくらビデオ", 6, False),
    ("clipriver.com", "ClipRiver", 5, False),
    ("tabimovie.jp", "旅ムービー", 4, False),
    ("pixelreel.tv", "PixelReel", 4, False),
    ("yoru-douga.jp", "夜の動画", 0, True),
    ("velvetclips.tv", "VelvetClips", 0, True),
]

FILL = {
    "box": ["ダンボール箱", "紙袋", "洗濯かご", "植木鉢", "土鍋"],
    "pet": ["子猫", "猫", "柴犬", "ハムスター", "インコ", "うさぎ", "豆柴", "黒猫"],
    "pet_en": ["kitten", "cat", "puppy", "hamster", "parrot", "rabbit", "tabby cat", "corgi"],
    "place": ["鎌倉", "京都", "札幌", "那覇", "金沢", "尾道", "函館", "東京", "大阪", "長崎"],
    "place_en": ["Kamakura", "Kyoto", "Sapporo", "Naha", "Kanazawa", "Onomichi", "Hakodate",
                 "Tokyo", "Osaka", "Nagasaki"],
    "dish": ["肉じゃが", "親子丼", "だし巻き卵", "カレー", "餃子", "オムライス", "豚汁",
             "チーズケーキ", "焼きそば", "お好み焼き"],
    "dish_en": ["miso soup", "fried rice", "pancakes", "ramen", "curry rice", "dumplings",
                "banana bread", "tomato pasta", "omelette", "onigiri"],
    "style": ["和", "洋", "中華", "韓国", "居酒屋"],
    "topic": ["コードの押さえ方", "ストロークの基本", "アルペジオ", "チューニング", "Fコード攻略",
              "リズム練習"],
    "topic_en": ["open chords", "strumming patterns", "fingerpicking", "barre chords",
                 "alternate tuning", "keeping time"],
    "song": ["夏空のメロディ", "さよならの駅", "海辺の約束", "星降る坂道", "春色ノート"],
    "song_en": ["Blue Lantern Waltz", "Rain on Maple Street", "Seven Paper Boats",
                "Midnight Tram", "Orange Window"],
    "game": ["星屑クエスト", "まほろば探検隊", "ネコ宇宙戦記", "月夜の迷宮", "からくり農園"],
    "game_en": ["Tofu Knight", "Lantern Valley", "Orbit Courier", "Moss & Meteor",
                "Clockwork Orchard"],
    "science": ["月の満ち欠け", "虹ができる仕組み", "電池の中身", "雲のでき方", "磁石のふしぎ"],
    "science_en": ["how rainbows form", "why the sky is blue", "how batteries work",
                   "the phases of the moon", "how magnets work"],
    "diy": ["本棚", "ウッドデッキ", "猫タワー", "収納ボックス", "木製スピーカー"],
    "diy_en": ["bookshelf", "garden bench", "cat tree", "desk organiser", "bird feeder"],
    "subject": ["線形代数入門", "日本史概論", "統計学の基礎", "プログラミング入門", "経済学原論"],
    "subject_en": ["Introduction to Linear Algebra", "Basics of Statistics",
                   "History of Printing", "Programming 101", "Ocean Ecology"],
    "sport": ["草野球", "フットサル", "バドミントン", "卓球", "市民マラソン"],
    "sport_en": ["skateboard", "frisbee", "table tennis", "bouldering", "trail running"],
}

# kind: duration range in seconds (low, high)
KINDS = {
    "clip": (5, 59),
    "short": (60, 480),
    "normal": (180, 1500),
    "long": (1800, 4800),
    "lecture": (3600, 10800),
}

# (category, kind, title template, description template)
TEMPLATES = [
    ("pets", "short", "{pet}が{box}に入るまでの{n}分間", "{pet}が{box}を見つけてから入るまでをじっと撮影しました。"),
    ("pets", "clip", "一瞬で寝落ちする{pet}", "ほんの数秒の出来事です。寝顔をお楽しみください。"),
    ("pets", "short", "うちの{pet}の朝のルーティン その{n}", "朝ごはんから日なたぼっこまで、{pet}の毎朝の様子です。"),
    ("pets", "normal", "{pet}と{place}をお散歩", "{place}の街並みを{pet}と一緒にのんびり歩きました。"),
    ("pets", "short", "猫じゃらしに本気を出す猫 その{n}", "おもちゃを前にすると別猫のようになります。"),
    ("pets", "long", "保護猫カフェの一日 {n}", "開店から閉店まで、保護猫たちの一日を定点カメラで記録しました。"),
    ("pets_en", "clip", "{pet_en} vs. cardboard box, round {n}", "Who wins this time? A short clip of our {pet_en}."),
    ("pets_en", "short", "Sleepy {pet_en} compilation #{n}", "Naps, yawns and slow blinks from our {pet_en}."),
    ("pets_en", "short", "My {pet_en} learns a new trick", "Three weeks of practice with treats & patience."),
    ("cooking", "normal", "簡単{dish}の作り方", "初心者でも失敗しない{dish}の作り方を手順ごとに紹介します。"),
    ("cooking", "short", "10分でできる{dish}", "忙しい日の夕ごはんに。材料は冷蔵庫にあるもので大丈夫です。"),
    ("cooking", "normal", "{dish}レシピ 〜{style}風〜", "いつもの{dish}を{style}風にアレンジしました。"),
    ("cooking", "short", "お弁当に入れたい{dish}", "冷めてもおいしい{dish}のコツを紹介します。"),
    ("cooking_en", "normal", "How to make {dish_en} at home", "A simple {dish_en} recipe for busy weeknights."),
    ("cooking_en", "short", "{dish_en} in 15 minutes", "Quick & easy {dish_en} with pantry ingredients."),
    ("cooking_en", "normal", "Camping recipe: {dish_en}", "Cooking {dish_en} on a small camp stove by the river."),
    ("music", "normal", "ギター初心者講座 第{n}回 {topic}", "今回のテーマは「{topic}」です。ゆっくり弾くところから始めましょう。"),
    ("music", "short", "ピアノで弾いてみた「{song}」", "オリジナル曲「{song}」をピアノで演奏しました。"),
    ("music", "normal", "路上ライブ in {place}", "{place}駅前での路上ライブの様子です。"),
    ("music", "lecture", "作業用BGM ピアノとギター vol.{n}", "勉強や作業のおともに。やさしい音色の曲を集めました。"),
    ("music_en", "normal", "Guitar lesson #{n}: {topic_en}", "Today we practise {topic_en}. Tabs in the description."),
    ("music_en", "short", "Acoustic cover - {song_en}", "An acoustic take on our own song \"{song_en}\"."),
    ("music_en", "long", "Lo-fi beats to study to, vol. {n}", "Calm beats & rain sounds for reading and homework."),
    ("travel", "long", "{place}を歩く 4K散歩", "{place}の街をノーカットで歩きました。環境音のみです。"),
    ("travel", "normal", "{place}の夜景", "高台から見た{place}の夜景をタイムラプスで撮影しました。"),
    ("travel", "normal", "{place}日帰り旅行 vlog", "朝一番の電車で{place}へ。食べ歩きと名所めぐりの一日です。"),
    ("travel", "long", "各駅停車で行く{place}", "各駅停車の車窓から。途中の駅で降りたりもしています。"),
    ("travel_en", "long", "Walking tour of {place_en}", "An unedited walk through {place_en} with city sounds."),
    ("travel_en", "normal", "Night view of {place_en}", "A time-lapse of {place_en} after sunset."),
    ("games", "long", "{game}実況プレイ Part{n}", "「{game}」を最初から実況していきます。"),
    ("games", "normal", "{game} 初見プレイ", "初めて遊ぶ「{game}」。攻略情報なしで挑戦します。"),
    ("games", "short", "{game}のタイムアタック {n}分台", "「{game}」のタイムアタック記録更新の瞬間です。"),
    ("games_en", "long", "{game_en} let's play, part {n}", "Playing {game_en} from the very beginning."),
    ("games_en", "normal", "{game_en} speedrun attempt", "Trying to beat my personal best in {game_en}."),
    ("science", "normal", "{science}をわかりやすく解説", "{science}について、図を使ってやさしく解説します。"),
    ("science", "normal", "自由研究: {science}", "夏休みの自由研究にぴったり。家にある道具で確かめられます。"),
    ("diy", "normal", "DIYで{diy}を作ってみた", "ホームセンターの材料だけで{diy}を作りました。"),
    ("science_en", "short", "Explained in 5 minutes: {science_en}", "A short explainer on {science_en}."),
    ("diy_en", "normal", "DIY {diy_en} build", "Building a {diy_en} from scrap wood & a few screws."),
    ("lecture", "lecture", "公開講座 第{n}回 {subject}", "市民公開講座「{subject}」の全編記録です。"),
    ("lecture_en", "lecture", "Full lecture: {subject_en}, part {n}", "The complete recording of the open course \"{subject_en}\"."),
    ("sports", "normal", "{sport}ハイライト {n}", "週末の{sport}の試合のハイライトです。"),
    ("sports_en", "short", "{sport_en} tips for beginners #{n}", "Three simple {sport_en} tips you can try today."),
    ("clips", "clip", "一瞬で終わるドミノ倒し {n}", "準備に三日、倒れるのは数秒でした。"),
    ("clips_en", "clip", "Tiny stop-motion: paper boat #{n}", "A few seconds of stop-motion made with paper & tape."),
]

ADULT_TEMPLATES = [
    ("adult", "long", "【大人向け】深夜の恋愛トーク 第{n}夜", "成人向けのトーク番組です。18歳未満の方はご覧になれません。"),
    ("adult", "long", "【R18】大人のための深夜ドラマ 第{n}話", "成人向けのドラマです。18歳未満の方はご覧になれません。"),
    ("adult", "normal", "【成人向け】ナイトクラブの舞台裏 {n}", "成人向けの舞台裏映像です。"),
    ("adult_en", "long", "After-hours lounge talk vol. {n} (18+)", "Adult talk show. Viewers must be 18 or older."),
    ("adult_en", "normal", "Late-night romance drama, episode {n} [adult]", "Adult drama for viewers 18 and over."),
]


def fill(rng, template, values):
    out = template
    for key, choices in FILL.items():
        token = "{" + key + "}"
        if token in out:
            if key not in values:
                values[key] = rng.choice(choices)
            out = out.replace(token, values[key])
    return out.replace("{n}", values["n"])


def main():
    rng = random.Random(SEED)
    general = [s for s in SITES if not s[3]]
    adult_sites = [s for s in SITES if s[3]]
    weights = [s[2] for s in general]
    seen = set()
    rows = []
    while len(rows) < COUNT:
        adult = rng.random() < 0.08
        category, kind, title_t, desc_t = rng.choice(ADULT_TEMPLATES if adult else TEMPLATES)
        values = {"n": str(rng.randint(1, 30))}
        title = fill(rng, title_t, values)
        title = title[0].upper() + title[1:]
        if title in seen:
            continue
        seen.add(title)
        description = fill(rng, desc_t, values)
        if adult and rng.random() < 0.75:
            host, source, _, _ = rng.choice(adult_sites)
        else:
            host, source, _, _ = rng.choices(general, weights)[0]
        low, high = KINDS[kind]
        duration = rng.randint(low, high)
        size = duration * rng.randint(40_000, 160_000)
        rows.append((host, source, duration, size, 1 if adult else 0, title, description))

    lines = [
        "# The video catalogue of sorvel-service, written by make_catalog.py.",
        "# One video per line, tab-separated, UTF-8: id (unique, positive), host (the source site's",
        "# host name, lower case), source (the site's name as the answer's Copyright gives it),",
        "# duration (whole seconds), size (bytes), adult (0 or 1), title, description.",
        "# Lines starting with # and empty lines are skipped.",
        "id\thost\tsource\tduration\tsize\tadult\ttitle\tdescription",
    ]
    for number, row in enumerate(rows, start=1):
        for field in row:
            assert "\t" not in str(field) and "\n" not in str(field)
        lines.append("\t".join([str(number)] + [str(field) for field in row]))
    target = Path(__file__).with_name("catalog.tsv")
    target.write_text("\n".join(lines) + "\n", encoding="utf-8")
    print(f"{target}: {len(rows)} entries")


if __name__ == "__main__":
    main()
