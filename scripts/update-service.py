#!/usr/bin/env python3
"""Builds the folder that the local update and feed service serves:

  OUT/update/UpdateInfo.xml   manifest of every file of the staged program
                              folder, with its real size, CRC-32 and SHA-256,
                              a serial (the current time), an expiry 30 days
                              ahead and the architecture
  OUT/update/files/...        the files themselves (DownloadUrl points here)
  OUT/ad/AD.xml               promotion feed (GBK, as the guard reads it)
  OUT/ad/<picture>.gif        its picture (drawn with ImageMagick)

The manifest and the feed are signed with minisign and SECRET_KEY (the build
folder's throwaway key, which the development copies of the programs in
build/<arch>/dev trust): UpdateInfo.xml.minisig and AD.xml.minisig beside
them. The folder is then served with `python3 -m http.server --bind 127.0.0.1`.

usage: update-service.py STAGE OUT BASE_URL SECRET_KEY [ARCH]
       BASE_URL is the address OUT is served at, e.g. http://127.0.0.1:8807;
       ARCH is x64 (default) or x86
"""
import datetime
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zlib
from xml.sax.saxutils import quoteattr

PICTURE = 'harrowmere-promo.gif'
FONT = '/usr/share/fonts/truetype/wqy/wqy-microhei.ttc'  # fonts-wqy-microhei, installed by setup.sh

BANNER = [
    ('欢迎使用 Harrowmere 2006: 新规则和新版本都在网上等着您.',
     '了解 Harrowmere 的保护功能', '/client'),
    ('规则编辑器: 为每个程序定制自己的规则.',
     '打开在线帮助中的规则编写指南', '/client/rules'),
    ('在线更新: 新版本自动下载, 下次启动时安装.',
     '查看最近的更新说明', '/client/update'),
]


def signed32(value):
    return value - (1 << 32) if value >= 1 << 31 else value


def freshness():
    """The serial and expiry attributes: the serial grows with every build of
    the folder, the expiry lies 30 days ahead."""
    expires = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(days=30)
    return 'Serial="%d" Expires="%s"' % (int(time.time()), expires.strftime('%Y-%m-%dT%H:%M:%SZ'))


def sign(path, secret_key):
    subprocess.run(['minisign', '-S', '-s', secret_key, '-m', path, '-x', path + '.minisig',
                    '-t', 'harrowmere local service %s' % os.path.basename(path)],
                   check=True, stdout=subprocess.DEVNULL)


def build_update(stage, out, base_url, secret_key, arch):
    files_dir = os.path.join(out, 'update', 'files')
    shutil.rmtree(os.path.join(out, 'update'), ignore_errors=True)
    os.makedirs(files_dir)
    lines = ['<?xml version="1.0" encoding="gb2312" ?>',
             '<Harrowmere_Update %s Arch="%s">' % (freshness(), arch), '    <FileList>']
    for root, _, names in sorted(os.walk(stage)):
        for name in sorted(names):
            path = os.path.join(root, name)
            rel = os.path.relpath(path, stage)
            folder = os.path.dirname(rel).replace(os.sep, '\\')
            with open(path, 'rb') as f:
                data = f.read()
            target = os.path.join(files_dir, rel)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(path, target)
            url = '%s/update/files/%s' % (base_url, rel.replace(os.sep, '/'))
            lines.append('        <File Name=%s LocalPath=%s Size="%d" Crc="%d" Sha256="%s" DownloadUrl=%s />' % (
                quoteattr(name), quoteattr(folder), len(data), signed32(zlib.crc32(data)),
                hashlib.sha256(data).hexdigest(), quoteattr(url)))
    lines += ['    </FileList>', '</Harrowmere_Update>', '']
    manifest = os.path.join(out, 'update', 'UpdateInfo.xml')
    with open(manifest, 'wb') as f:
        f.write('\r\n'.join(lines).encode('gbk'))
    sign(manifest, secret_key)


def draw_picture(path):
    # Two frames, so that the picture control's animation shows as well.
    frames = []
    for i, (top, bottom) in enumerate((('#3C5A9C', '#6E8CCB'), ('#2F7A4A', '#6CC48A'))):
        frame = path + '.%d.gif' % i
        subprocess.run(['convert', '-size', '117x88', 'gradient:%s-%s' % (top, bottom),
                        '-font', FONT, '-fill', 'white', '-gravity', 'center', '-pointsize', '14',
                        '-annotate', '+0-12', 'Harrowmere', '-pointsize', '11',
                        '-annotate', '+0+12', 'guard 2006' if i == 0 else 'update online', frame],
                       check=True)
        frames.append(frame)
    subprocess.run(['convert', '-delay', '150', '-loop', '0'] + frames + [path], check=True)
    for frame in frames:
        os.remove(frame)


def build_feed(out, base_url, secret_key):
    ad = os.path.join(out, 'ad')
    os.makedirs(ad, exist_ok=True)
    draw_picture(os.path.join(ad, PICTURE))
    items = '\r\n'.join('        <Item Text=%s Tooltip=%s Url=%s />' % (
        quoteattr(text), quoteattr(tip), quoteattr(base_url + link)) for text, tip, link in BANNER)
    feed = ('<?xml version="1.0" encoding="gb2312" ?>\r\n<Harrowmere_AD ' + freshness() + '>\r\n'
            '    <Main Url=%s Tooltip=%s Image=%s />\r\n    <Banner>\r\n%s\r\n    </Banner>\r\n'
            '</Harrowmere_AD>\r\n') % (quoteattr(base_url + '/client'), quoteattr('访问 Harrowmere 主页'),
                                       quoteattr('%s/ad/%s' % (base_url, PICTURE)), items)
    path = os.path.join(ad, 'AD.xml')
    with open(path, 'wb') as f:
        f.write(feed.encode('gbk'))
    sign(path, secret_key)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    stage, out, base_url, secret_key = sys.argv[1], sys.argv[2], sys.argv[3].rstrip('/'), sys.argv[4]
    arch = sys.argv[5] if len(sys.argv) == 6 else 'x64'
    build_update(stage, out, base_url, secret_key, arch)
    build_feed(out, base_url, secret_key)


if __name__ == '__main__':
    main()
