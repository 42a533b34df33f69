'use strict';
// The page: the user chooses or drops an image, a worker runs the tool on it
// (the source text in #worker-source), and the page shows what came back.
// Everything that comes from the disk reaches the page as text or as an
// attribute's value, never as markup; the disk map alone is made as markup,
// and only of numbers and the page's own words. The page never touches the
// module.

const kTexts = {
  en: {
    title: 'd88cut',
    which:
      'For one disk only: the D88 image of the disk whose first sector carries the signature ' +
      '\u201cBEXO-X1/turboSys\u201d.',
    intro:
      'Unpacks the disk from its D88 image here, on your own computer: the image is not sent ' +
      'anywhere. You get MAIN, DEMO and the files of the disk\u2019s MS-DOS volume, each with ' +
      'its recorded date and time, in one zip or one by one.',
    choose: 'Choose a D88 image',
    drop: 'Or drop the image anywhere on this page. Choose or drop several dumps of the disk at ' +
      'once to merge them into one image first, sector by sector.',
    idle: 'No image chosen yet.',
    running: (name) => `Unpacking ${name}\u2026`,
    merging: (count, name) => `Merging ${count} images into ${name}, then unpacking it\u2026`,
    mergeFailed: (name) => `The images could not be merged into ${name}: the merge\u2019s report says why.`,
    merge: 'Merge',
    mergeOrder: (count, name) => `${count} dumps merged into ${name}, in the order of their names; ` +
      'the first is the base, and the report numbers them in this order:',
    downloadMerged: (name, size) => `Download ${name} (${FormatNumber(size)} bytes)`,
    mergeNote: 'What the merger d88merge prints for these dumps: each sector taken from a later ' +
      'dump, each whose good copies differ and each good in none, then which files of the ' +
      'merged image are whole. Everything below is about the merged image.',
    from: (number) => `copy from dump ${number}`,
    done: {
      recognised: (name) => `${name} holds the disk. Its files are below.`,
      'not-d88': (name) => `${name} is not the disk.`,
      'no-first-sector': (name) => `${name} is not the disk.`,
      'signature-differs': (name) => `${name} is not the disk.`,
    },
    error: (name) => `${name} could not be unpacked in full.`,
    unreadable: (name) => `${name} could not be read. Check that the file is still there and can be opened, then choose it again.`,
    reasons: {
      recognised: '',
      'not-d88':
        'The file is not a D88 disk image: it is too short to hold the header of a disk, ' +
        'or its first disk\u2019s header cannot be one.',
      'no-first-sector':
        'The file is a D88 image, but its first disk has no sector C0 H0 R1 N1, where the ' +
        'disk carries its signature.',
      'signature-differs':
        'The file is a D88 image of another disk: bytes 1\u201316 of its first sector ' +
        '(C0 H0 R1 N1) are not the signature \u201cBEXO-X1/turboSys\u201d.',
    },
    failed: 'The run ended with an error; what it wrote before that is below.',
    found: 'The 16 bytes found there:',
    files: 'Files',
    noFiles: 'The run wrote no files.',
    zip: (name, count) => `Download ${name} (${count} ${count === 1 ? 'file' : 'files'})`,
    bytes: (count) => `${FormatNumber(count)} bytes`,
    listing: 'Listing',
    noListing: 'The run listed no directory entries.',
    name: 'Name',
    size: 'Size',
    date: 'Date',
    time: 'Time',
    attributes: 'Attributes',
    crc32: 'CRC-32',
    flags: {A: 'archive', D: 'directory', V: 'volume label', S: 'system', H: 'hidden', R: 'read-only'},
    text: 'The tool\u2019s text output',
    stdout: 'Standard output',
    stderr: 'Standard error',
    exitStatus: 'Exit status:',
    health: 'Health',
    intact: 'intact',
    notWritten: 'not written: an unsafe file name',
    replaced: 'replaced by a later file',
    holdsLater: (later, earlier) => `holds the bytes of the later ${later}, which replaced ${earlier}`,
    damaged: (kinds) => `damaged: ${kinds.join(', ')}`,
    problems: {
      'bad-sector': 'a bad sector',
      'cross-linked': 'shares clusters with another file',
      'not-from-disk': 'bytes not read from the disk',
      short: 'shorter than recorded',
    },
    subdirectories: (names) =>
      `${names.join(', ')}: ${names.length === 1 ? 'a subdirectory' : 'subdirectories'}, ` +
      'listed but not entered; the files inside are not unpacked.',
    map: 'Disk map',
    mapCaption:
      'One row per track, one box per sector in the order recorded. Point at or focus a box ' +
      'to name it (arrow keys move); choose a name in the listing to light its sectors. The ' +
      'report below says the same in words.',
    mapCapped: 'The map shows no more than 64 sectors of a track and 4096 in all; the report ' +
      'covers every track.',
    mapIdle: 'Point at a box to name its sector.',
    track: (number) => `Track ${number}`,
    roles: {
      signature: 'signature', main: 'MAIN', demo: 'DEMO', fat: 'allocation table (FAT)',
      directory: 'root directory', file: 'a file', unused: 'unused',
    },
    states: {
      ok: 'read well', missing: 'missing', short: 'short', bad: 'bad: an error status',
      deleted: 'deleted data', unread: 'not read: its read stopped before it',
    },
    cell: (track, id, role, output, state, from) =>
      `Track ${track}, sector ${id}: ${role}${output ? ` \u2014 ${output}` : ''}; ${state}` +
      `${from ? `; ${from}` : ''}.`,
    legendFrom: 'taken from the dump of that number (a merge)',
    light: 'Light its sectors on the disk map',
    report: 'Report',
    reportNote: 'What the inspector d88info prints for this image.',
  },
  ja: {
    title: 'd88cut',
    which:
      '\u5bfe\u8c61\u306f\u3001\u6700\u521d\u306e\u30bb\u30af\u30bf\u306b\u7f72\u540d' +
      '\u300cBEXO-X1/turboSys\u300d\u304c\u3042\u308b\u30c7\u30a3\u30b9\u30af\u306e D88 ' +
      '\u30a4\u30e1\u30fc\u30b8\u3060\u3051\u3067\u3059\u3002',
    intro:
      'D88 \u30a4\u30e1\u30fc\u30b8\u304b\u3089\u30c7\u30a3\u30b9\u30af\u3092\u3053\u306e\u30b3' +
      '\u30f3\u30d4\u30e5\u30fc\u30bf\u30fc\u306e\u4e0a\u3067\u5c55\u958b\u3057\u307e\u3059\u3002' +
      '\u30a4\u30e1\u30fc\u30b8\u306f\u3069\u3053\u306b\u3082\u9001\u4fe1\u3055\u308c\u307e\u305b' +
      '\u3093\u3002MAIN\u3001DEMO \u3068 MS-DOS \u30dc\u30ea\u30e5\u30fc\u30e0\u306e\u30d5\u30a1' +
      '\u30a4\u30eb\u3092\u3001\u8a18\u9332\u3055\u308c\u305f\u65e5\u6642\u306e\u307e\u307e\u3001' +
      'zip \u3067\u307e\u3068\u3081\u3066\u3001\u307e\u305f\u306f\u4e00\u3064\u305a\u3064\u4fdd' +
      '\u5b58\u3067\u304d\u307e\u3059\u3002',
    choose: 'D88 \u30a4\u30e1\u30fc\u30b8\u3092\u9078\u3076',
    drop: '\u307e\u305f\u306f\u3001\u30a4\u30e1\u30fc\u30b8\u3092\u3053\u306e\u30da\u30fc\u30b8' +
      '\u306b\u30c9\u30ed\u30c3\u30d7\u3057\u3066\u304f\u3060\u3055\u3044\u3002\u540c\u3058' +
      '\u30c7\u30a3\u30b9\u30af\u306e\u8907\u6570\u306e\u30c0\u30f3\u30d7\u3092\u4e00\u5ea6' +
      '\u306b\u9078\u3076\u3068\u3001\u30bb\u30af\u30bf\u3054\u3068\u306b\u30de\u30fc\u30b8' +
      '\u3057\u3066\u304b\u3089\u5c55\u958b\u3057\u307e\u3059\u3002',
    idle: '\u30a4\u30e1\u30fc\u30b8\u306f\u307e\u3060\u9078\u3070\u308c\u3066\u3044\u307e\u305b' +
      '\u3093\u3002',
    running: (name) => `${name} \u3092\u5c55\u958b\u3057\u3066\u3044\u307e\u3059\u2026`,
    merging: (count, name) => `${count} \u500b\u306e\u30a4\u30e1\u30fc\u30b8\u3092 ${name} ` +
      '\u306b\u30de\u30fc\u30b8\u3057\u3066\u5c55\u958b\u3057\u3066\u3044\u307e\u3059\u2026',
    mergeFailed: (name) => `\u30a4\u30e1\u30fc\u30b8\u3092 ${name} \u306b\u30de\u30fc` +
      '\u30b8\u3067\u304d\u307e\u305b\u3093\u3067\u3057\u305f\u3002\u7406\u7531\u306f' +
      '\u30de\u30fc\u30b8\u306e\u30ec\u30dd\u30fc\u30c8\u306b\u3042\u308a\u307e\u3059\u3002',
    merge: '\u30de\u30fc\u30b8',
    mergeOrder: (count, name) => `${count} \u500b\u306e\u30c0\u30f3\u30d7\u3092\u540d\u524d` +
      `\u9806\u306b ${name} \u306b\u30de\u30fc\u30b8\u3057\u307e\u3057\u305f\u3002\u6700` +
      '\u521d\u304c\u57fa\u6e96\u3067\u3001\u30ec\u30dd\u30fc\u30c8\u306e\u756a\u53f7' +
      '\u306f\u3053\u306e\u9806\u3067\u3059:',
    downloadMerged: (name, size) => `${name} \u3092\u4fdd\u5b58 (${FormatNumber(size)} ` +
      '\u30d0\u30a4\u30c8)',
    mergeNote: '\u30de\u30fc\u30b8\u30c4\u30fc\u30eb d88merge \u304c\u3053\u308c\u3089' +
      '\u306e\u30c0\u30f3\u30d7\u306b\u3064\u3044\u3066\u8868\u793a\u3059\u308b\u5185' +
      '\u5bb9\u3067\u3059\u3002\u4ee5\u4e0b\u306f\u3059\u3079\u3066\u30de\u30fc\u30b8' +
      '\u3057\u305f\u30a4\u30e1\u30fc\u30b8\u306b\u3064\u3044\u3066\u3067\u3059\u3002',
    from: (number) => `\u30c0\u30f3\u30d7 ${number} \u304b\u3089`,
    done: {
      recognised: (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af\u3067` +
        '\u3059\u3002\u30d5\u30a1\u30a4\u30eb\u306f\u4e0b\u306b\u3042\u308a\u307e\u3059\u3002',
      'not-d88': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af\u3067` +
        '\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
      'no-first-sector': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9\u30af` +
        '\u3067\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
      'signature-differs': (name) => `${name} \u306f\u5bfe\u8c61\u306e\u30c7\u30a3\u30b9` +
        '\u30af\u3067\u306f\u3042\u308a\u307e\u305b\u3093\u3002',
    },
    error: (name) => `${name} \u3092\u6700\u5f8c\u307e\u3067\u5c55\u958b\u3067\u304d\u307e` +
      '\u305b\u3093\u3067\u3057\u305f\u3002',
    unreadable: (name) => `${name} \u3092\u8aad\u3081\u307e\u305b\u3093\u3067\u3057\u305f\u3002` +
      '\u30d5\u30a1\u30a4\u30eb\u304c\u307e\u3060\u3042\u308a\u3001\u958b\u3051\u308b\u3053' +
      '\u3068\u3092\u78ba\u304b\u3081\u3066\u3001\u3082\u3046\u4e00\u5ea6\u9078\u3093\u3067' +
      '\u304f\u3060\u3055\u3044\u3002',
    reasons: {
      recognised: '',
      'not-d88': '\u3053\u306e\u30d5\u30a1\u30a4\u30eb\u306f D88 \u30a4\u30e1\u30fc\u30b8\u3067' +
        '\u306f\u3042\u308a\u307e\u305b\u3093\u3002\u30c7\u30a3\u30b9\u30af\u306e\u30d8\u30c3' +
        '\u30c0\u30fc\u3092\u4fdd\u6301\u3067\u304d\u306a\u3044\u307b\u3069\u77ed\u3044\u304b' +
        '\u3001\u6700\u521d\u306e\u30c7\u30a3\u30b9\u30af\u306e\u30d8\u30c3\u30c0\u30fc\u304c' +
        '\u3042\u308a\u5f97\u306a\u3044\u5024\u3067\u3059\u3002',
      'no-first-sector': 'D88 \u30a4\u30e1\u30fc\u30b8\u3067\u3059\u304c\u3001\u6700\u521d' +
        '\u306e\u30c7\u30a3\u30b9\u30af\u306b\u3001\u7f72\u540d\u304c\u3042\u308b\u306f\u305a' +
        '\u306e\u30bb\u30af\u30bf C0 H0 R1 N1 \u304c\u3042\u308a\u307e\u305b\u3093\u3002',
      'signature-differs': '\u5225\u306e\u30c7\u30a3\u30b9\u30af\u306e D88 \u30a4\u30e1\u30fc' +
        '\u30b8\u3067\u3059\u3002\u6700\u521d\u306e\u30bb\u30af\u30bf (C0 H0 R1 N1) \u306e' +
        '\u30d0\u30a4\u30c8 1\u301c16 \u304c\u7f72\u540d\u300cBEXO-X1/turboSys\u300d\u3067\u306f' +
        '\u3042\u308a\u307e\u305b\u3093\u3002',
    },
    failed: '\u5b9f\u884c\u306f\u30a8\u30e9\u30fc\u3067\u7d42\u308f\u308a\u307e\u3057\u305f' +
      '\u3002\u305d\u308c\u307e\u3067\u306b\u66f8\u304b\u308c\u305f\u3082\u306e\u3092\u4e0b\u306b' +
      '\u793a\u3057\u307e\u3059\u3002',
    found: '\u305d\u3053\u306b\u3042\u3063\u305f 16 \u30d0\u30a4\u30c8:',
    files: '\u30d5\u30a1\u30a4\u30eb',
    noFiles: '\u30d5\u30a1\u30a4\u30eb\u306f\u66f8\u304b\u308c\u307e\u305b\u3093\u3067\u3057' +
      '\u305f\u3002',
    zip: (name, count) => `${name} \u3092\u4fdd\u5b58 (${count} \u30d5\u30a1\u30a4\u30eb)`,
    bytes: (count) => `${FormatNumber(count)} \u30d0\u30a4\u30c8`,
    listing: '\u4e00\u89a7',
    noListing: '\u30c7\u30a3\u30ec\u30af\u30c8\u30ea\u9805\u76ee\u306f\u3042\u308a\u307e\u305b' +
      '\u3093\u3002',
    name: '\u540d\u524d',
    size: '\u30b5\u30a4\u30ba',
    date: '\u65e5\u4ed8',
    time: '\u6642\u523b',
    attributes: '\u5c5e\u6027',
    crc32: 'CRC-32',
    flags: {
      A: '\u30a2\u30fc\u30ab\u30a4\u30d6',
      D: '\u30c7\u30a3\u30ec\u30af\u30c8\u30ea',
      V: '\u30dc\u30ea\u30e5\u30fc\u30e0\u30e9\u30d9\u30eb',
      S: '\u30b7\u30b9\u30c6\u30e0',
      H: '\u96a0\u3057',
      R: '\u8aad\u307f\u53d6\u308a\u5c02\u7528',
    },
    text: '\u30c4\u30fc\u30eb\u306e\u30c6\u30ad\u30b9\u30c8\u51fa\u529b',
    stdout: '\u6a19\u6e96\u51fa\u529b',
    stderr: '\u6a19\u6e96\u30a8\u30e9\u30fc\u51fa\u529b',
    exitStatus: '\u7d42\u4e86\u30b9\u30c6\u30fc\u30bf\u30b9:',
    health: '\u72b6\u614b',
    intact: '\u7121\u50b7',
    notWritten: '\u66f8\u304d\u8fbc\u307e\u308c\u3066\u3044\u307e\u305b\u3093: \u5b89\u5168\u3067' +
      '\u306a\u3044\u30d5\u30a1\u30a4\u30eb\u540d',
    replaced: '\u5f8c\u306e\u30d5\u30a1\u30a4\u30eb\u3067\u7f6e\u304d\u63db\u3048',
    holdsLater: (later, earlier) => `\u5f8c\u306e ${later} \u306e\u5185\u5bb9\u3067\u3059 ` +
      `(${earlier} \u3092\u7f6e\u304d\u63db\u3048\u307e\u3057\u305f)`,
    damaged: (kinds) => `\u7834\u640d: ${kinds.join('\u3001')}`,
    problems: {
      'bad-sector': '\u4e0d\u826f\u30bb\u30af\u30bf',
      'cross-linked': '\u4ed6\u306e\u30d5\u30a1\u30a4\u30eb\u3068\u30af\u30e9\u30b9' +
        '\u30bf\u3092\u5171\u6709',
      'not-from-disk': '\u30c7\u30a3\u30b9\u30af\u304b\u3089\u8aad\u3081\u3066\u3044' +
        '\u306a\u3044\u30d0\u30a4\u30c8',
      short: '\u8a18\u9332\u3088\u308a\u77ed\u3044',
    },
    subdirectories: (names) =>
      `${names.join('\u3001')}: \u30b5\u30d6\u30c7\u30a3\u30ec\u30af\u30c8\u30ea\u3067` +
      '\u3059\u3002\u4e00\u89a7\u306b\u306f\u8f09\u308a\u307e\u3059\u304c\u4e2d\u306b' +
      '\u306f\u5165\u3089\u305a\u3001\u4e2d\u306e\u30d5\u30a1\u30a4\u30eb\u306f\u5c55' +
      '\u958b\u3055\u308c\u307e\u305b\u3093\u3002',
    map: '\u30c7\u30a3\u30b9\u30af\u30de\u30c3\u30d7',
    mapCaption:
      '1 \u884c\u304c 1 \u30c8\u30e9\u30c3\u30af\u30011 \u30de\u30b9\u304c\u8a18\u9332' +
      '\u9806\u306e 1 \u30bb\u30af\u30bf\u3067\u3059\u3002\u30de\u30b9\u3092\u6307\u3059' +
      '\u304b\u30d5\u30a9\u30fc\u30ab\u30b9\u3059\u308b\u3068\u305d\u306e\u30bb\u30af' +
      '\u30bf\u3092\u793a\u3057 (\u77e2\u5370\u30ad\u30fc\u3067\u79fb\u52d5)\u3001\u4e00' +
      '\u89a7\u3067\u540d\u524d\u3092\u9078\u3076\u3068\u305d\u306e\u30bb\u30af\u30bf' +
      '\u304c\u5149\u308a\u307e\u3059\u3002\u4e0b\u306e\u30ec\u30dd\u30fc\u30c8\u304c' +
      '\u540c\u3058\u3053\u3068\u3092\u6587\u7ae0\u3067\u793a\u3057\u307e\u3059\u3002',
    mapCapped: '\u30de\u30c3\u30d7\u306b\u306f 1 \u30c8\u30e9\u30c3\u30af 64 \u30bb' +
      '\u30af\u30bf\u3001\u5168\u4f53\u3067 4096 \u30bb\u30af\u30bf\u307e\u3067\u3057' +
      '\u304b\u8868\u793a\u3057\u307e\u305b\u3093\u3002\u30ec\u30dd\u30fc\u30c8\u306f' +
      '\u5168\u30c8\u30e9\u30c3\u30af\u3092\u793a\u3057\u307e\u3059\u3002',
    mapIdle: '\u30de\u30b9\u3092\u6307\u3059\u3068\u305d\u306e\u30bb\u30af\u30bf\u3092' +
      '\u793a\u3057\u307e\u3059\u3002',
    track: (number) => `\u30c8\u30e9\u30c3\u30af ${number}`,
    roles: {
      signature: '\u7f72\u540d', main: 'MAIN', demo: 'DEMO',
      fat: '\u30a2\u30ed\u30b1\u30fc\u30b7\u30e7\u30f3\u30c6\u30fc\u30d6\u30eb (FAT)',
      directory: '\u30eb\u30fc\u30c8\u30c7\u30a3\u30ec\u30af\u30c8\u30ea',
      file: '\u30d5\u30a1\u30a4\u30eb', unused: '\u672a\u4f7f\u7528',
    },
    states: {
      ok: '\u6b63\u5e38', missing: '\u6b20\u843d', short: '\u77ed\u3044',
      bad: '\u4e0d\u826f (\u30a8\u30e9\u30fc\u72b6\u614b)', deleted: '\u524a\u9664\u30c7' +
        '\u30fc\u30bf',
      unread: '\u672a\u8aad (\u624b\u524d\u3067\u8aad\u307f\u53d6\u308a\u304c\u6b62' +
        '\u307e\u3063\u305f)',
    },
    cell: (track, id, role, output, state, from) =>
      `\u30c8\u30e9\u30c3\u30af ${track}\u3001\u30bb\u30af\u30bf ${id}: ${role}` +
      `${output ? ` \u2014 ${output}` : ''}\u3001${state}${from ? `\u3001${from}` : ''}\u3002`,
    legendFrom: '\u305d\u306e\u756a\u53f7\u306e\u30c0\u30f3\u30d7\u304b\u3089 (\u30de' +
      '\u30fc\u30b8)',
    light: '\u30c7\u30a3\u30b9\u30af\u30de\u30c3\u30d7\u3067\u305d\u306e\u30bb\u30af' +
      '\u30bf\u3092\u5149\u3089\u305b\u308b',
    report: '\u30ec\u30dd\u30fc\u30c8',
    reportNote: '\u691c\u67fb\u30c4\u30fc\u30eb d88info \u304c\u3053\u306e\u30a4\u30e1' +
      '\u30fc\u30b8\u306b\u3064\u3044\u3066\u8868\u793a\u3059\u308b\u5185\u5bb9\u3067' +
      '\u3059\u3002',
  },
};

// The first of the user's languages that the page speaks; English otherwise.
function ChooseLanguage(languages) {
  for (const language of languages || []) {
    const primary = String(language).toLowerCase().split('-')[0];
    if (primary in kTexts) {
      return primary;
    }
  }
  return 'en';
}

const language = ChooseLanguage(navigator.languages);
const texts = kTexts[language];
// Numbers as the page's language writes them ("1,234"). The formatter is
// made once, here: the first one a page makes loads the browser's locale
// data, which is slow (doc/performance.md), and would fall in a run.
const numberFormat = new Intl.NumberFormat(language);
function FormatNumber(number) {
  return numberFormat.format(number);
}
const byId = (id) => document.getElementById(id);
const status = byId('status');
const workerUrl = URL.createObjectURL(
  new Blob([byId('worker-source').textContent], {type: 'text/javascript'}));
let objectUrls = [];

// Sets `text` as the element's text, each word that holds a hyphen
// ("MS-DOS", "BEXO-X1/turboSys") in a span that keeps it on one line.
function SetText(element, text) {
  const parts = String(text).split(/(\S*\w-\w\S*)/);
  if (parts.length === 1) {
    element.textContent = text;
    return;
  }
  element.replaceChildren(...parts.map((part, i) => {
    if (i % 2 === 0) {
      return part;
    }
    const word = document.createElement('span');
    word.className = 'word';
    word.textContent = part;
    return word;
  }));
}

document.documentElement.lang = language;
for (const element of document.querySelectorAll('[data-text]')) {
  SetText(element, texts[element.dataset.text]);
}
SetText(status, texts.idle);

// "GAME.d88" gives "GAME.zip"; a name without an extension gets one.
function ZipName(imageName) {
  const dot = imageName.lastIndexOf('.');
  return (dot > 0 ? imageName.slice(0, dot) : imageName) + '.zip';
}

// The merged image's name, after the first dump's: "GAME.d88" gives
// "GAME-merged.d88"; a name without an extension gets ".d88".
function MergedName(firstName) {
  const dot = firstName.lastIndexOf('.');
  return dot > 0 ? `${firstName.slice(0, dot)}-merged${firstName.slice(dot)}` :
    `${firstName}-merged.d88`;
}

function ObjectUrl(bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type}));
  objectUrls.push(url);
  return url;
}

function Clear() {
  for (const url of objectUrls) {
    URL.revokeObjectURL(url);
  }
  objectUrls = [];
  for (const id of ['reason', 'found', 'results', 'no-files', 'no-listing', 'subdirectories',
                    'map-part', 'map-capped', 'merge-part', 'legend-from']) {
    byId(id).hidden = true;
  }
  byId('disk-map').replaceChildren();
  byId('map-focus').textContent = '';
  chosenOutput = null;
  mapOutputs = [];
  mapCells = null;
  mapRecords = [];
  const zip = byId('download-zip');
  zip.hidden = true;
  zip.removeAttribute('href');
  zip.setAttribute('download', '');
  zip.textContent = '';
  const merged = byId('download-merged');
  merged.hidden = true;
  merged.removeAttribute('href');
  merged.setAttribute('download', '');
  merged.textContent = '';
  byId('merge-dumps').replaceChildren();
  byId('files').replaceChildren();
  byId('listing').tBodies[0].replaceChildren();
  for (const id of ['output', 'errors', 'exit-status', 'found-bytes', 'report', 'merge-order',
                    'merge-report']) {
    byId(id).textContent = '';
  }
}

// A cell of the listing. On a narrow screen, where the column headers do
// not show, its `label` (the column's name) goes before it.
function Cell(row, text, className, label) {
  const cell = row.insertCell();
  cell.setAttribute('role', 'cell');
  cell.textContent = text;
  if (className) {
    cell.className = className;
  }
  if (label) {
    cell.dataset.label = label;
  }
  return cell;
}

// The listing's lines, as the tool prints them: the name padded to 12
// Shift_JIS bytes (a name holds no ASCII space), then
// " %8d %04d/%02d/%02d %02d:%02d:%02d " and the attribute flags.
const kListingLine = /^([^ ]*) +(-?\d+) (\d{4,})\/(\d{2,})\/(\d{2,}) (\d{2,}):(\d{2,}):(\d{2,}) ((?:[ADVSHR] ?)*) *$/;

// The kinds of damage, by bit, as HealthProblem numbers them.
const kProblems = ['bad-sector', 'cross-linked', 'not-from-disk', 'short'];

function ProblemsOf(bits) {
  return kProblems.filter((name, bit) => bits & (1 << bit));
}

// Marks `element` with an output's health for scripts.
function MarkHealth(element, problems) {
  element.dataset.health = problems.length > 0 ? 'damaged' : 'intact';
  element.dataset.problems = problems.join(',');
}

// The health in words, in a span; "damaged" ones marked with a sign too.
function HealthWords(problems) {
  const words = document.createElement('span');
  if (problems.length > 0) {
    words.className = 'damage';
    const kinds = problems.map((kind) => texts.problems[kind]);
    words.textContent = '\u26a0\ufe0e ' + texts.damaged(kinds);
  } else {
    words.className = 'intact';
    words.textContent = texts.intact;
  }
  return words;
}

// Words in a span of a class, for the listing's health column.
function Words(text, className) {
  const words = document.createElement('span');
  words.className = className;
  words.textContent = text;
  return words;
}

// What became of a volume file's output on the page: `written`, `replaced`
// (a later output went to the same file, as Windows names it) or
// `not-written` (Windows cannot hold its name); a file entry with no output
// (a name no system holds) is not written either.
function FateOf(output) {
  if (!output || output.file < 0) {
    return 'not-written';
  }
  return output.replaced ? 'replaced' : 'written';
}

// The listing as a table, with an empty cell for each row's health. A row
// of a file entry (neither a directory nor the volume's label) is one that
// d88cut means to write; its name becomes its output's key.
function ShowListing(stdout) {
  const body = byId('listing').tBodies[0];
  const directories = [];
  for (const line of stdout.split('\n')) {
    const match = kListingLine.exec(line);
    if (!match) {
      continue;
    }
    const row = body.insertRow();
    row.setAttribute('role', 'row');
    const flags = match[9].split(' ').filter(Boolean);
    Cell(row, match[1], 'name');
    Cell(row, FormatNumber(Number(match[2])), 'number', texts.size);
    Cell(row, `${match[3]}-${match[4]}-${match[5]}`, '', texts.date);
    Cell(row, `${match[6]}:${match[7]}:${match[8]}`, '', texts.time);
    Cell(row, flags.map((flag) => texts.flags[flag]).join(', '), '', texts.attributes);
    Cell(row, '', 'crc32', texts.crc32);
    Cell(row, '', 'health');
    if (flags.includes('D')) {
      directories.push(match[1]);
    }
    if (!flags.includes('D') && !flags.includes('V')) {
      row.dataset.file = '';
    }
  }
  byId('no-listing').hidden = body.rows.length > 0;
  byId('listing-frame').hidden = body.rows.length === 0;
  if (directories.length > 0) {
    SetText(byId('subdirectories'), texts.subdirectories(directories));
    byId('subdirectories').hidden = false;
  }
}

// Each row of the listing that is a volume file d88cut writes (the outputs
// after MAIN and DEMO, in the listing's order) gets its health, and its
// name a button that lights its sectors on the map. Every file entry's row
// says what became of it: the health of a file written, that a replaced
// one was replaced, or that the file was not written.
function MarkListing(outputs) {
  const volumeFiles = outputs.map((output, index) => ({...output, index}))
    .filter((output) => output.volumeFile);
  let next = 0;
  for (const row of byId('listing').tBodies[0].rows) {
    const name = row.cells[0];
    const health = row.cells[row.cells.length - 1];
    let output = null;
    if (next < volumeFiles.length && volumeFiles[next].name === name.textContent) {
      output = volumeFiles[next++];
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'pick';
      button.textContent = name.textContent;
      button.title = texts.light;
      button.setAttribute('aria-pressed', 'false');
      button.dataset.output = String(output.index);
      name.replaceChildren(button);
      MarkHealth(row, ProblemsOf(output.problems));
    } else if (!('file' in row.dataset)) {
      continue;
    }
    const fate = FateOf(output);
    row.dataset.fate = fate;
    if (fate === 'not-written') {
      health.append(Words(texts.notWritten, 'not-written'));
      continue;
    }
    // The CRC-32 of the bytes d88cut wrote for it, as d88info gives it.
    row.cells[row.cells.length - 2].textContent = output.crc32;
    row.dataset.crc32 = output.crc32;
    health.append(HealthWords(ProblemsOf(output.problems)));
    if (fate === 'replaced') {
      health.append('; ', Words(texts.replaced, 'replaced'));
    }
  }
}

// Each file's link gets the health of the last output written to it, and
// a damaged one a mark beside it. A file that several outputs went to
// holds the last one's bytes, under the first one's name (as Windows keeps
// it): its link says whose bytes they are, and which outputs they replaced.
function MarkFiles(outputs) {
  Array.from(byId('files').children).forEach((item, number) => {
    const written = outputs.filter((found) => found.file === number);
    const output = written.at(-1);
    if (!output) {
      return;
    }
    const link = item.querySelector('a');
    const problems = ProblemsOf(output.problems);
    MarkHealth(link, problems);
    link.dataset.output = String(outputs.indexOf(output));
    if (problems.length > 0) {
      item.append(' ', HealthWords(problems));
    }
    if (written.length > 1) {
      const earlier = [...new Set(written.slice(0, -1).map((found) => found.name))];
      item.append(' ', Words(`(${texts.holdsLater(output.name, earlier.join(', '))})`, 'holds-later'));
    }
  });
}

function Hex(bytes) {
  const hex = Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join(' ');
  const shown = Array.from(bytes, (byte) =>
    byte >= 0x20 && byte < 0x7F ? String.fromCharCode(byte) : '.').join('');
  return `${hex}\n${shown}`;
}

// The files' links and the zip's, as the worker made them.
function ShowFiles(imageName, files, zip) {
  const list = byId('files');
  for (const file of files) {
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = file.url;
    link.download = file.name;
    link.textContent = file.name;
    const size = document.createElement('span');
    size.className = 'size';
    size.textContent = ' \u2014 ' + texts.bytes(file.size);
    item.append(link, size);
    list.append(item);
  }
  byId('no-files').hidden = files.length > 0;
  if (files.length > 0) {
    const link = byId('download-zip');
    const zipName = ZipName(imageName);
    link.href = zip.url || ObjectUrl(zip.bytes, 'application/zip');
    link.download = zipName;
    link.textContent = texts.zip(zipName, files.length);
    link.hidden = false;
  }
}

// ---------------------------------------------------------------------------
// The disk map

// A cell as the worker passes it: track, C, H, R, N, role, state, output + 1,
// and in a merged image the dump its record came from (from 1; 0: none);
// roles and states numbered as SectorRole and SectorState.
const kCellBytes = 9;
const kRoles = ['unused', 'signature', 'main', 'demo', 'fat', 'directory', 'file'];
const kStates = ['ok', 'short', 'bad', 'deleted', 'missing', 'unread'];
// What marks a sector's state in its box, besides its outline.
const kStateMarks = {
  ok: '', short: '\u00bd', bad: '!', deleted: '\u2212', missing: '\u00d7', unread: '\u00b7',
};

let mapOutputs = [];

function Legend() {
  const legend = byId('map-legend');
  const item = (role, state, words) => {
    const entry = document.createElement('li');
    const box = document.createElement('span');
    box.className = 'cell';
    box.dataset.role = role;
    box.dataset.state = state;
    box.textContent = kStateMarks[state];
    box.setAttribute('aria-hidden', 'true');
    entry.append(box, ' ', words);
    legend.append(entry);
  };
  for (const role of kRoles.slice(1).concat('unused')) {
    item(role, 'ok', texts.roles[role]);
  }
  for (const state of kStates.slice(1)) {
    item('unused', state, texts.states[state]);
  }
  // Shown for a merged image only.
  const from = document.createElement('li');
  from.id = 'legend-from';
  from.hidden = true;
  const box = document.createElement('span');
  box.className = 'cell';
  box.dataset.role = 'unused';
  box.dataset.state = 'ok';
  box.textContent = '2';
  box.setAttribute('aria-hidden', 'true');
  from.append(box, ' ', texts.legendFrom);
  legend.append(from);
}
// The same for every disk, so made once.
Legend();

// The record each of the map's boxes shows, in order: {c, h, n, output};
// and the boxes, found when first wanted.
let mapRecords = [];
let mapCells = null;
function MapCells() {
  mapCells = mapCells || byId('disk-map').querySelectorAll('[role="gridcell"]');
  return mapCells;
}

// The map's rows and boxes as markup, made from the worker's numbers and
// the page's own words alone: the browser parses it much faster than it
// makes each box and sets its attributes one by one (doc/performance.md).
// Each box gets only what scripts and styles read (not even a class: its
// role finds it), and a name for screen readers: its sector, role and
// state, and in a merged image the dump its copy came from (data-from), whose
// number the box shows unless it came from the first dump or its state has
// a mark. The output it belongs to, a name from the disk, is added when the
// box is pointed at or focused. The first box is the map's tab stop; the
// arrow keys give the others a tabindex as they move.
function MapMarkup(cells) {
  const parts = [];
  let track = -1;
  for (let at = 0; at + kCellBytes <= cells.length; at += kCellBytes) {
    if (cells[at] !== track) {
      parts.push(track < 0 ? '' : '</div>');
      track = Number(cells[at]);
      parts.push(`<div class="track" role="row"><span class="track-number" role="rowheader" ` +
                 `aria-label="${texts.track(track)}">${track}</span>`);
    }
    const role = kRoles[cells[at + 5]] || 'unused';
    const state = kStates[cells[at + 6]] || 'ok';
    const r = Number(cells[at + 3]);
    const id = `C${Number(cells[at + 1])} H${Number(cells[at + 2])} R${r} N${Number(cells[at + 4])}`;
    const from = Number(cells[at + 8]);
    const fromWords = from > 0 ? texts.from(from) : '';
    const mark = kStateMarks[state] || (from > 1 ? String(from) : '');
    parts.push(`<span role="gridcell"${at === 0 ? ' tabindex="0"' : ''} ` +
               `aria-label="${texts.cell(track, id, texts.roles[role], '', texts.states[state], fromWords)}" ` +
               `data-track="${track}" data-role="${role}" data-state="${state}" data-r="${r}"` +
               `${from > 0 ? ` data-from="${from}"` : ''}>${mark}</span>`);
  }
  if (track >= 0) {
    parts.push('</div>');
  }
  return parts.join('');
}

// Draws the map from the worker's cells: one row per track and one box per
// record.
function ShowMap(map, outputs) {
  mapOutputs = outputs;
  const cells = map.cells;
  mapRecords = [];
  for (let at = 0; at + kCellBytes <= cells.length; at += kCellBytes) {
    mapRecords.push({c: cells[at + 1], h: cells[at + 2], n: cells[at + 4],
                     output: cells[at + 7] - 1, from: cells[at + 8]});
  }
  const grid = byId('disk-map');
  grid.innerHTML = MapMarkup(cells);
  mapCells = null;
  byId('map-capped').hidden = !map.capped;
  byId('map-focus').textContent = texts.mapIdle;
  byId('map-part').hidden = mapRecords.length === 0;
  byId('legend-from').hidden = !mapRecords.some((record) => record.from > 0);
}

function DescribeCell(cell) {
  const data = cell.dataset;
  const record = mapRecords[Array.prototype.indexOf.call(MapCells(), cell)];
  const output = mapOutputs[record.output];
  return texts.cell(data.track, `C${record.c} H${record.h} R${data.r} N${record.n}`,
                    texts.roles[data.role], output ? output.name : '', texts.states[data.state],
                    record.from > 0 ? texts.from(record.from) : '');
}

function NameCell(cell) {
  const words = DescribeCell(cell);
  cell.setAttribute('aria-label', words);
  byId('map-focus').textContent = words;
}

// Lights the sectors of output `index` (a string; null: none) on the map,
// and marks them selected for screen readers.
function Light(index) {
  const grid = byId('disk-map');
  grid.classList.toggle('lighting', index !== null);
  for (const cell of grid.querySelectorAll('.lit')) {
    cell.classList.remove('lit');
    cell.removeAttribute('aria-selected');
  }
  if (index !== null) {
    mapRecords.forEach((record, at) => {
      if (record.output === Number(index)) {
        MapCells()[at].classList.add('lit');
        MapCells()[at].setAttribute('aria-selected', 'true');
      }
    });
  }
}

let chosenOutput = null;

function Choose(button) {
  const pressed = button.getAttribute('aria-pressed') !== 'true';
  for (const other of document.querySelectorAll('#listing .pick[aria-pressed="true"]')) {
    other.setAttribute('aria-pressed', 'false');
  }
  button.setAttribute('aria-pressed', String(pressed));
  chosenOutput = pressed ? button.dataset.output : null;
  Light(chosenOutput);
}

// One tab stop into the map; the arrow keys, Home and End move within it.
function MoveInMap(event) {
  const cell = event.target.closest('[role="gridcell"]');
  if (!cell) {
    return;
  }
  const row = cell.parentElement;
  const cellsOf = (track) => Array.from(track.querySelectorAll('[role="gridcell"]'));
  const here = cellsOf(row);
  const index = here.indexOf(cell);
  let to = null;
  if (event.key === 'ArrowRight') {
    to = here[index + 1];
  } else if (event.key === 'ArrowLeft') {
    to = here[index - 1];
  } else if (event.key === 'Home') {
    to = here[0];
  } else if (event.key === 'End') {
    to = here[here.length - 1];
  } else if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
    const other = event.key === 'ArrowDown' ? row.nextElementSibling : row.previousElementSibling;
    if (other) {
      const there = cellsOf(other);
      to = there[Math.min(index, there.length - 1)];
    }
  } else {
    return;
  }
  event.preventDefault();
  if (to) {
    cell.tabIndex = -1;
    to.tabIndex = 0;
    to.focus();
  }
}

{
  const grid = byId('disk-map');
  grid.addEventListener('keydown', MoveInMap);
  grid.addEventListener('focusin', (event) => {
    if (event.target.getAttribute('role') === 'gridcell') {
      NameCell(event.target);
    }
  });
  grid.addEventListener('mouseover', (event) => {
    if (event.target.getAttribute('role') === 'gridcell') {
      NameCell(event.target);
    }
  });
  byId('listing').addEventListener('click', (event) => {
    const button = event.target.closest('.pick');
    if (button) {
      Choose(button);
    }
  });
  // A file's link lights its sectors while pointed at or focused.
  const files = byId('files');
  const lightLink = (event) => {
    const link = event.target.closest('a[data-output]');
    if (link) {
      Light(link.dataset.output);
    }
  };
  const unlightLink = (event) => {
    if (event.target.closest('a[data-output]')) {
      Light(chosenOutput);
    }
  };
  files.addEventListener('mouseover', lightLink);
  files.addEventListener('focusin', lightLink);
  files.addEventListener('mouseout', unlightLink);
  files.addEventListener('focusout', unlightLink);
}

// Shows what d88cut's run left: its text, the listing and the files. The
// rest of the run goes on meanwhile in the worker.
function ShowCut(imageName, part) {
  byId('output').textContent = part.stdout;
  byId('errors').textContent = part.stderr;
  ShowListing(part.stdout);
  ShowFiles(imageName, part.files, part.zip || {});
}

// Marks which outputs are whole, in the listing and beside the links, once
// both the health and d88cut's part have come.
function ShowHealth(run) {
  if (run.outputs !== null && run.cutShown) {
    MarkListing(run.outputs);
    MarkFiles(run.outputs);
  }
}

// Shows the merge: the order of the dumps, its report and, when it went
// well, the merged image to download.
function ShowMerge(run, part) {
  byId('merge-report').textContent = part.report;
  if (part.image) {
    const link = byId('download-merged');
    link.href = ObjectUrl(part.image, 'application/octet-stream');
    link.download = run.file.name;
    link.textContent = texts.downloadMerged(run.file.name, part.image.length);
    link.hidden = false;
  }
}

// The order the dumps are merged in, shown as soon as the run starts.
function ShowMergeOrder(run) {
  byId('merge-order').textContent = texts.mergeOrder(run.dumps.length, run.file.name);
  byId('merge-dumps').replaceChildren(...run.dumps.map((name) => {
    const item = document.createElement('li');
    item.textContent = name;
    return item;
  }));
  byId('merge-part').hidden = false;
}

// Takes one part of the run from the worker: the merge's, d88cut's, or for
// a recognised disk the outputs' health and the map, which the worker sends
// before d88cut's run.
function TakePart(run, part) {
  if (part.part === 'merge') {
    ShowMerge(run, part);
  } else if (part.part === 'cut') {
    run.cutShown = true;
    ShowCut(run.file.name, part);
  } else {
    run.outputs = part.outputs;
    ShowMap(part.map, part.outputs);
  }
  ShowHealth(run);
}

// Shows the run's end, and d88cut's part if it has not come on its own.
// #status's data-ms gets the milliseconds from the event that chose the
// image (`run.started`, its performance.now()) to the page showing
// everything, set with data-state as the last step.
function Finish(run, result) {
  const imageName = run.file.name;
  if (!run.cutShown) {
    run.cutShown = true;
    ShowCut(imageName, result);
    ShowHealth(run);
  }
  HideBusy();
  const failed = result.error !== null || result.status !== 0 || result.counts.unreadable !== null;
  const verdict = result.verdict || 'not-d88';
  status.dataset.verdict = verdict;
  if (result.merged === false) {
    status.textContent = texts.mergeFailed(imageName);
  } else if (result.counts.unreadable !== null ||
             (result.status === 1 && result.verdict === 'not-d88')) {
    status.textContent = texts.unreadable(imageName);
  } else if (failed) {
    status.textContent = texts.error(imageName);
  } else {
    status.textContent = texts.done[verdict](imageName);
  }
  const reason = byId('reason');
  SetText(reason, failed ? texts.failed : texts.reasons[verdict]);
  reason.hidden = reason.textContent === '';
  if (verdict === 'signature-differs' && result.found) {
    byId('found-bytes').textContent = Hex(result.found);
    byId('found').hidden = false;
  }
  if (result.error) {
    byId('errors').textContent += result.error + '\n';
  }
  byId('stdout-part').hidden = byId('output').textContent === '';
  byId('stderr-part').hidden = byId('errors').textContent === '';
  byId('exit-status').textContent = result.status === null ? '\u2014' : String(result.status);
  byId('report').textContent = result.report || '';
  byId('report-part').hidden = !result.report;
  // A file that is not the disk gets no empty list or table.
  byId('files-part').hidden = verdict !== 'recognised' && byId('files').children.length === 0;
  byId('listing-part').hidden = verdict !== 'recognised' && byId('listing-frame').hidden;
  byId('results').hidden = false;
  status.dataset.ms = (performance.now() - run.started).toFixed(1);
  status.dataset.state = failed ? 'error' : 'done';
}

// The worker lives as long as the page and compiles the tool once, when it
// starts; each image gets a fresh instance there. A run still going when
// the next image comes is cut short with its worker, and a worker that has
// failed is not used again: either way a new one takes its place.
let worker = null;
let current = null;
let runs = 0;

// The worker the page starts with practises first (worker.js), so that the
// user's first image meets code the browser has compiled well; #status
// gets data-practised once no practice is under way, done or cut short
// with its worker. A worker that takes the place of another does not
// practise: an image is waiting for it.
function StartWorker({practise}) {
  const started = new Worker(workerUrl);
  worker = started;
  started.onmessage = (event) => {
    if (event.data.practised) {
      status.dataset.practised = '';
      return;
    }
    if (current === null || event.data.run !== current.run) {
      return;
    }
    if (event.data.part) {
      TakePart(current, event.data);
    } else {
      End(event.data);
    }
  };
  started.onerror = (event) => {
    event.preventDefault();
    started.terminate();
    status.dataset.practised = '';
    if (worker !== started) {
      return;
    }
    worker = null;
    if (current !== null) {
      End({status: null, verdict: null, found: null, files: [], stdout: '', stderr: '',
           counts: {unreadable: null}, error: String(event.message || 'the worker failed')});
    }
  };
  if (practise) {
    started.postMessage({practise: true});
  }
}

// The progress bar shows only for a run that takes a while: one that ends
// within a blink would only flash it, and while it shows, the browser draws
// the page again and again beside the run.
const kBusyAfterMs = 300;
let busyTimer = null;

function ShowBusyLater() {
  clearTimeout(busyTimer);
  busyTimer = setTimeout(() => {
    byId('busy').hidden = false;
  }, kBusyAfterMs);
}

function HideBusy() {
  clearTimeout(busyTimer);
  byId('busy').hidden = true;
}

function End(result) {
  const run = current;
  current = null;
  Finish(run, result);
}

// Runs the tool on `files`: one image, or several dumps of the disk, merged
// in the order of their names into one image, which the run then unpacks.
function Run(chosen, started) {
  const dumps = Array.from(chosen).sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  const file = dumps.length > 1 ? {name: MergedName(dumps[0].name)} : dumps[0];
  if (current !== null && worker !== null) {
    worker.terminate();
    worker = null;
    status.dataset.practised = '';
  }
  if (worker === null) {
    StartWorker({practise: false});
  }
  // The worker starts on the image while the page clears the last run.
  runs += 1;
  current = {
    run: runs, file, started, runTime: new Date(), cutShown: false, outputs: null,
    dumps: dumps.length > 1 ? dumps.map((dump) => dump.name) : null,
  };
  worker.postMessage({run: runs, files: dumps, mergedName: file.name, runTime: current.runTime.getTime()});
  Clear();
  if (current.dumps) {
    ShowMergeOrder(current);
  }
  status.dataset.state = 'running';
  status.dataset.image = file.name;
  delete status.dataset.verdict;
  delete status.dataset.ms;
  status.textContent = current.dumps ? texts.merging(dumps.length, file.name) : texts.running(file.name);
  ShowBusyLater();
}

StartWorker({practise: true});

const input = byId('image');
input.addEventListener('change', () => {
  const started = performance.now();
  if (input.files.length > 0) {
    Run(input.files, started);
  }
});
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) {
    document.body.classList.remove('dropping');
  }
});
document.addEventListener('drop', (event) => {
  const started = performance.now();
  event.preventDefault();
  document.body.classList.remove('dropping');
  const files = event.dataTransfer ? event.dataTransfer.files : [];
  if (files.length > 0) {
    Run(files, started);
  }
});
