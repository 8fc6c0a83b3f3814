// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/ManufacturerLogos.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <iterator>
#include <string_view>

namespace corvane {

namespace {

struct PrefixLogo
{
    const char *prefix;
    const char *image;
};

// Model prefixes (lower case) and the catalogue image each names.
constexpr PrefixLogo kPrefixes[] = {
    {"#di", "daichi"},
    {"2big", "lacie"},
    {"a2", "smart"},
    {"af", "ssstc"},
    {"ap12", "apacer"},
    {"ap24", "apacer"},
    {"ap25", "apacer"},
    {"ap32", "apacer"},
    {"ap48", "apacer"},
    {"ap64", "apacer"},
    {"ap96", "apacer"},
    {"aps-", "pioneer"},
    {"apsd", "apacer"},
    {"asmt", "asmedia"},
    {"aura", "owc"},
    {"avpro", "angelbird"},
    {"ax", "axiom"},
    {"c300", "crucial"},
    {"c400", "crucial"},
    {"cactus", "cactus"},
    {"cfe-", "kingspec"},
    {"chn", "zheino"},
    {"cis", "cervoz"},
    {"cmfs", "corsair"},
    {"cs-", "kingspec"},
    {"cs130", "kingspec"},
    {"cs65", "kingspec"},
    {"cssd", "corsair"},
    {"ct", "crucial"},
    {"d2", "lacie"},
    {"d2c", "ocz"},
    {"d2r", "ocz"},
    {"dhs25", "innodisk"},
    {"dk1", "hitachi"},
    {"dk2", "hitachi"},
    {"dk3", "hitachi"},
    {"dku", "hitachi"},
    {"ek0", "hewlettpackard"},
    {"elite", "owc"},
    {"envoy", "owc"},
    {"esata", "newertech"},
    {"extre", "sandisk"},
    {"fb0", "hewlettpackard"},
    {"fb1", "hewlettpackard"},
    {"fdv", "supertalent"},
    {"fe8", "supertalent"},
    {"fek", "supertalent"},
    {"feu", "supertalent"},
    {"ff6", "supertalent"},
    {"ff7", "supertalent"},
    {"ff8", "supertalent"},
    {"fj0", "hewlettpackard"},
    {"fj1", "hewlettpackard"},
    {"fk", "hewlettpackard"},
    {"fm-", "g.skill"},
    {"fm2", "supertalent"},
    {"fm5", "supertalent"},
    {"fml", "supertalent"},
    {"fn4", "supertalent"},
    {"fn8", "supertalent"},
    {"fnh", "supertalent"},
    {"fnx", "supertalent"},
    {"force", "corsair"},
    {"fpg", "supertalent"},
    {"fph", "supertalent"},
    {"ft", "supertalent"},
    {"ft-", "g.skill"},
    {"ftm", "supertalent"},
    {"ftr", "supertalent"},
    {"fum", "supertalent"},
    {"g-drive", "g-technology"},
    {"g-raid", "g-technology"},
    {"gb0", "hewlettpackard"},
    {"gb1", "hewlettpackard"},
    {"gh", "greenhouse"},
    {"gj0", "hewlettpackard"},
    {"gp-", "gigabyte"},
    {"hcp", "hitachi"},
    {"hcs", "hitachi"},
    {"hde", "hitachi"},
    {"hdn", "hgst"},
    {"hdp", "hitachi"},
    {"hds", "hitachi"},
    {"hdt", "hitachi"},
    {"hej", "hitachi"},
    {"hen", "hitachi"},
    {"hfm", "skhynix"},
    {"hfs", "skhynix"},
    {"hmh", "hgst"},
    {"hms", "hgst"},
    {"hpt", "highpoint"},
    {"hs-", "hikvision"},
    {"htc", "hitachi"},
    {"hte", "hitachi"},
    {"hts", "hitachi"},
    {"hua", "hgst"},
    {"huc", "hgst"},
    {"huh", "hgst"},
    {"hus", "hgst"},
    {"i-o", "iodata"},
    {"ibm", "ibm"},
    {"ic25", "hgst"},
    {"ic35", "ibm"},
    {"im2s", "adata"},
    {"ir-", "goodram"},
    {"irp-", "goodram"},
    {"ixpand", "sandisk"},
    {"jajs", "intenso"},
    {"jb2", "hewlettpackard"},
    {"jetflash", "transcend"},
    {"kbg", "kioxia"},
    {"kcd", "kioxia"},
    {"kcm", "kioxia"},
    {"kfl", "kioxia"},
    {"khk", "kioxia"},
    {"kpm", "kioxia"},
    {"krm", "kioxia"},
    {"ksg", "kioxia"},
    {"ksm512", "kingspec"},
    {"kxd", "kioxia"},
    {"kxg", "kioxia"},
    {"lk0", "hewlettpackard"},
    {"lk1", "hewlettpackard"},
    {"lq", "hp"},
    {"m2ca", "xmore"},
    {"m4", "crucial"},
    {"mb0", "hewlettpackard"},
    {"mb1", "hewlettpackard"},
    {"mb2", "hewlettpackard"},
    {"mb3", "hewlettpackard"},
    {"mb4", "hewlettpackard"},
    {"mb6", "hewlettpackard"},
    {"mb8", "hewlettpackard"},
    {"mcc0", "samsung"},
    {"md", "maxdigitaldata"},
    {"mercu", "owc"},
    {"milan", "westerndigital"},
    {"ministack", "newertech"},
    {"mk0", "hewlettpackard"},
    {"mk1", "hewlettpackard"},
    {"mkns", "mushkin"},
    {"mm0", "hewlettpackard"},
    {"mm1", "hewlettpackard"},
    {"mm2", "hewlettpackard"},
    {"mo0", "hewlettpackard"},
    {"mr0", "hewlettpackard"},
    {"mt-", "kingspec"},
    {"mtfd", "micron"},
    {"na900", "kingspec"},
    {"ne-", "kingspec"},
    {"neptune", "owc"},
    {"newer", "newertech"},
    {"nfn02", "neoforza"},
    {"nforce", "nextron"},
    {"nfp", "neoforza"},
    {"nfs", "neoforza"},
    {"nt-", "kingspec"},
    {"nx-", "kingspec"},
    {"nxm-", "kingspec"},
    {"onetouch", "maxtor"},
    {"p3-", "kingspec"},
    {"p300", "crucial"},
    {"p4-", "kingspec"},
    {"p400", "crucial"},
    {"ph250", "apacer"},
    {"ph25p", "apacer"},
    {"ph920", "apacer"},
    {"promise", "promise-tech"},
    {"pt160", "apacer"},
    {"pt180", "apacer"},
    {"pt220", "apacer"},
    {"pt250", "apacer"},
    {"pv140", "apacer"},
    {"pv210", "apacer"},
    {"pv220", "apacer"},
    {"pv250", "apacer"},
    {"pv910", "apacer"},
    {"pv920", "apacer"},
    {"pv930", "apacer"},
    {"px0", "kioxia"},
    {"qk", "hp"},
    {"r3sl", "amd"},
    {"rack", "owc"},
    {"radeo", "amd"},
    {"rugged", "lacie"},
    {"s2e", "hgst"},
    {"scalar", "novachips"},
    {"sd", "sandisk"},
    {"sed2qii", "acpi"},
    {"sfca", "swissbit"},
    {"sfcf", "swissbit"},
    {"sfsa", "swissbit"},
    {"sg9x", "smart"},
    {"sh250", "apacer"},
    {"sh9m", "smart"},
    {"shgp31", "skhynix"},
    {"shgs31", "skhynix"},
    {"silicon-power", "siliconpower"},
    {"sk", "skhynix"},
    {"sm210", "apacer"},
    {"sm21p", "apacer"},
    {"sm220", "apacer"},
    {"sm22p", "apacer"},
    {"sm230", "apacer"},
    {"sm23p", "apacer"},
    {"smi", "siliconmotion"},
    {"spcc", "siliconpower"},
    {"sqf", "advantech"},
    {"ss210", "apacer"},
    {"ss21p", "apacer"},
    {"ss220", "apacer"},
    {"ssd9", "pny"},
    {"ssdpr", "goodram"},
    {"ssds", "intel"},
    {"ssstc", "ssstc"},
    {"st", "seagate"},
    {"st180-", "apacer"},
    {"st250-", "apacer"},
    {"storejet", "transcend"},
    {"storfly", "virtium"},
    {"stt", "supertalent"},
    {"su210", "apacer"},
    {"su220", "apacer"},
    {"sv", "smart"},
    {"sv210", "apacer"},
    {"sv220", "apacer"},
    {"sv230", "apacer"},
    {"sv240", "apacer"},
    {"sv24p", "apacer"},
    {"sv250", "apacer"},
    {"sv25p", "apacer"},
    {"sv25v", "apacer"},
    {"svm2", "smart"},
    {"t-force", "teamgroup"},
    {"t253a2", "teamgroup"},
    {"t253a3", "teamgroup"},
    {"t253e2", "teamgroup"},
    {"t253l3", "teamgroup"},
    {"t253l5", "teamgroup"},
    {"t253l7", "teamgroup"},
    {"t253le", "teamgroup"},
    {"t253t", "teamgroup"},
    {"t253x1", "teamgroup"},
    {"t253x2", "teamgroup"},
    {"t253x5", "teamgroup"},
    {"t253x6", "teamgroup"},
    {"t253x7", "teamgroup"},
    {"t60", "kingspec"},
    {"talos2", "ocz"},
    {"tandberg", "overland"},
    {"team", "teamgroup"},
    {"tekq", "tekq"},
    {"thnsf", "toshiba"},
    {"tk0", "hewlettpackard"},
    {"tl2r", "ocz"},
    {"tm4ps5", "teamgroup"},
    {"tm4ps7", "teamgroup"},
    {"tm8fp2", "teamgroup"},
    {"tm8fp3", "teamgroup"},
    {"tm8fp4", "teamgroup"},
    {"tm8fp6", "teamgroup"},
    {"tm8fpd", "teamgroup"},
    {"tm8fpj", "teamgroup"},
    {"toshiba-tr", "toshiba"},
    {"transmemory", "toshiba"},
    {"ts", "transcend"},
    {"tsg", "transcend"},
    {"u3", "sandisk"},
    {"ub88", "unigen"},
    {"ub92", "unigen"},
    {"uba1", "unigen"},
    {"uba2", "unigen"},
    {"ubm2", "unigen"},
    {"ubm3", "unigen"},
    {"ubp4", "unigen"},
    {"ubpa", "unigen"},
    {"ubpb", "unigen"},
    {"ubpk", "unigen"},
    {"ugb", "unigen"},
    {"ultra", "sandisk"},
    {"umax", "umax"},
    {"ut1", "imation"},
    {"vb0", "hewlettpackard"},
    {"vi3000", "verbatim"},
    {"vi550", "verbatim"},
    {"vi560", "verbatim"},
    {"vk0", "hewlettpackard"},
    {"vk1", "hewlettpackard"},
    {"vk3", "hewlettpackard"},
    {"vm0", "hewlettpackard"},
    {"vo0", "hewlettpackard"},
    {"voyager", "newertech"},
    {"vp101", "kingspec"},
    {"vr0", "hewlettpackard"},
    {"vsfc", "virtium"},
    {"wd", "westerndigital"},
    {"wdc", "westerndigital"},
    {"wds", "westerndigital"},
    {"wecp", "waterpanther"},
    {"wesa", "waterpanther"},
    {"wess", "waterpanther"},
    {"wps", "waterpanther"},
    {"wt", "winten"},
    {"wuh", "westerndigital"},
    {"wus", "westerndigital"},
    {"xa1920", "seagate"},
    {"xa384", "seagate"},
    {"xa480", "seagate"},
    {"xa960", "seagate"},
    {"xf-", "kingspec"},
    {"xf1230", "seagate"},
    {"xg7000", "kingspec"},
    {"xk0", "hewlettpackard"},
    {"xk1", "hewlettpackard"},
    {"xk3", "hewlettpackard"},
    {"xp0", "hewlettpackard"},
    {"xp1280", "seagate"},
    {"xp1536", "seagate"},
    {"xp160", "seagate"},
    {"xp1920", "seagate"},
    {"xp320", "seagate"},
    {"xp384", "seagate"},
    {"xp640", "seagate"},
    {"xp768", "seagate"},
    {"xp800", "seagate"},
    {"xpg", "xpg"},
    {"xs1536", "seagate"},
    {"xs1920", "seagate"},
    {"xs384", "seagate"},
    {"xs7680", "seagate"},
    {"xs960", "seagate"},
    {"yscs", "yansen"},
    {"ysex-", "yansen"},
    {"ysm600e", "yansen"},
    {"ysm600t", "yansen"},
    {"ysn600t", "yansen"},
    {"ysne-", "yansen"},
    {"ysp600e", "yansen"},
    {"yss600e", "yansen"},
    {"yss600t", "yansen"},
    {"ysu2", "yansen"},
    {"za1920", "seagate"},
    {"za240", "seagate"},
    {"za256", "seagate"},
    {"za3840", "seagate"},
    {"za480", "seagate"},
    {"za512", "seagate"},
    {"za960", "seagate"},
    {"zp1000", "seagate"},
    {"zp1024", "seagate"},
    {"zp2000", "seagate"},
    {"zp2048", "seagate"},
    {"zp256", "seagate"},
    {"zp4000", "seagate"},
    {"zp500", "seagate"},
    {"zp512", "seagate"},
};

constexpr const char *kCatalogue[] = {
    "acasis", "acclamator", "acer", "acpi", "adata", "addlink", "addonics", "adlink", "advantech",
    "aireye", "aitc", "amd", "angelbird", "aopen", "apacer", "apple", "apricorn", "asax", "asmedia",
    "asus", "asustor", "atechflash", "atp", "avant", "axiom", "biostar", "biwin", "blackdiamond",
    "buffalo", "buslink", "cactus", "caldigit", "cavalry", "centon", "cervoz", "chieftec", "cisco",
    "colorful", "compaq", "conner", "coolermaster", "corsair", "cowon", "crucial", "cuk", "cypress",
    "daichi", "datalocker", "dataram", "delkin", "dell", "dogfish", "drevo", "eaget", "edge",
    "ediloca", "elecom", "eluktronics", "emtec", "estar", "excelstor", "excelvan", "ezdisk",
    "fantom", "fanxiang", "fikwot", "fixstars", "freecom", "fujitsu", "fusionio", "g-technology",
    "g.skill", "garmin", "genesyslogic", "gigabyte", "gigastone", "goodram", "greenhouse",
    "greenliant", "hewlettpackard", "hgst", "highpoint", "hikvision", "hitachi", "hktdc", "hp",
    "hyperx", "hyundai", "hyundaitech", "ibm", "imation", "inateck", "indmem", "innodisk",
    "innovera", "intel", "intenso", "iodata", "iomega", "iriver", "istorage", "jmicron", "joiot",
    "kaminario", "kanguru", "kimtigo", "kingbank", "kingdian", "kingfast", "kingmax", "kingspec",
    "kingston", "kioxia", "kootion", "lacie", "lenovo", "leven", "lexar", "lexmark", "lg", "liteon",
    "longsys", "lsi", "lucidport", "marvell", "mass", "maxdigitaldata", "maxtor", "memblaze",
    "memkor", "memorex", "memoright", "microcenter", "microdia", "micron", "microsemi", "moment",
    "msi", "mtron", "mushkin", "mydigitalssd", "mysoncentury", "nemix", "nemixram", "neoforza",
    "netac", "newertech", "nextorage", "nextron", "nikon", "novachips", "novatek", "ocz", "olympus",
    "onetouch", "optiarc", "orico", "originstorage", "ortial", "overland", "owc", "oyen",
    "oyendigital", "packardbell", "panasonic", "patriot", "philips", "phison", "pioneer", "plextor",
    "pliant", "plx", "pny", "prograde", "promise-tech", "quantum", "ramsta", "realtek", "recadata",
    "red", "reletech", "renesas", "renice", "ritek", "runcore", "sabrent", "samsung", "sandforce",
    "sandisk", "sata", "seagate", "securedrive", "sharkoon", "siliconimage", "siliconmotion",
    "siliconpower", "skhynix", "smart", "smartbuy", "solidata", "solidigm", "somnambulist", "sony",
    "ssstc", "stec", "strontium", "supermicro", "supersspeed", "supertalent", "swissbit",
    "synology", "tcsunbow", "tdk", "teamgroup", "tekq", "terramaster", "tigo", "timetec", "torosus",
    "toshiba", "totalmicro", "transcend", "trekstor", "umax", "unigen", "v7", "vansuny", "vaseky",
    "vectotec", "verbatim", "veteke", "vikingtechnology", "violinmemory", "virtium", "visiontek",
    "waitan", "walgreen", "waterpanther", "westerndigital", "wintec", "winten", "xerox", "xmore",
    "xpg", "xraydisk", "yansen", "zalman", "zebra", "zheino", "zotac", "ztc",
};

InvalidManufacturerHandler &invalidHandler()
{
    static InvalidManufacturerHandler handler;
    return handler;
}

// "_" separates words in some bridge-reported models; matching is case-blind.
QString normalised(const QString &model)
{
    QString m = model;
    m.replace(QLatin1Char('_'), QLatin1Char(' '));
    return m.toLower();
}

QString firstWord(const QString &s)
{
    const qsizetype blank = s.indexOf(QLatin1Char(' '));
    return blank < 0 ? s : s.left(blank);
}

QString imageNameFor(const QString &model)
{
    const QString m = normalised(model);
    const QByteArray utf8 = m.toUtf8();
    const std::string_view sv(utf8.constData(), size_t(utf8.size()));

    // Longest matching prefix wins ("d2c" over "d2", "storejet" over "st").
    const PrefixLogo *best = nullptr;
    size_t bestLength = 0;
    for (const PrefixLogo &entry : kPrefixes) {
        const std::string_view prefix(entry.prefix);
        if (prefix.size() > bestLength && sv.substr(0, prefix.size()) == prefix) {
            best = &entry;
            bestLength = prefix.size();
        }
    }
    if (best)
        return QString::fromLatin1(best->image);

    for (const char *maker : {"phison", "sandisk", "smartbuy", "terramaster"}) {
        if (m.contains(QLatin1String(maker)))
            return QString::fromLatin1(maker);
    }
    if (m.startsWith(QLatin1String("usb")) || m.startsWith(QLatin1String("generic")))
        return QStringLiteral("mass");
    return firstWord(m);
}

bool runningFromBuildTree()
{
    static const bool fromBuildTree = [] {
        QString buildRoot = QStringLiteral(CORVANE_BUILD_DATA_DIR);
        const QString suffix = QStringLiteral("/share/corvane");
        if (buildRoot.endsWith(suffix))
            buildRoot.chop(suffix.size());
        const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        if (buildRoot.isEmpty())
            return false;
        const QString root = QFileInfo(buildRoot).canonicalFilePath();
        return !root.isEmpty() && exe.startsWith(root + QLatin1Char('/'));
    }();
    return fromBuildTree;
}

// A plain file name: model text comes from drive firmware and must not walk the tree.
bool isSafeFileName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

QString findPng(const char *folder, const QString &name)
{
    if (!isSafeFileName(name))
        return {};
    QStringList candidates{name};
    const QString capitalised = name.left(1).toUpper() + name.mid(1);
    if (capitalised != name)
        candidates.append(capitalised);
    for (const QString &dir : dataDirs()) {
        for (const QString &candidate : candidates) {
            const QString path = dir + QLatin1Char('/') + QLatin1String(folder) + QLatin1Char('/')
                + candidate + QStringLiteral(".png");
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return {};
}

} // namespace

void setInvalidManufacturerHandler(InvalidManufacturerHandler handler)
{
    invalidHandler() = std::move(handler);
}

const QStringList &logoCatalogueNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const char *name : kCatalogue)
            list.append(QString::fromLatin1(name));
        return list;
    }();
    return names;
}

bool logoCatalogueContains(const QString &imageName)
{
    const QStringList &names = logoCatalogueNames();
    return std::binary_search(names.cbegin(), names.cend(), imageName);
}

QString mfgLogoForDriveModel(const QString &model)
{
    if (model.isEmpty())
        return {};
    const QString image = firstWord(imageNameFor(model));
    if (logoCatalogueContains(image))
        return image;
    if (const InvalidManufacturerHandler &handler = invalidHandler())
        handler(image);
    return QStringLiteral("NSCaution");
}

QString mfgLogoPathForDriveModel(const QString &model)
{
    if (model.isEmpty())
        return {};
    // The file is named after the image, so logo and path always agree.
    return findPng(kDriveLogoFolder, firstWord(imageNameFor(model)));
}

QStringList dataDirs()
{
    QStringList dirs;
    if (runningFromBuildTree())
        dirs.append(QStringLiteral(CORVANE_BUILD_DATA_DIR));
    dirs.append(QStringLiteral(CORVANE_DATA_DIR));
    dirs.append(QDir::cleanPath(programDataDir()));
    dirs.removeDuplicates();
    return dirs;
}

QString logoCatalogueImagePath(const QString &imageName)
{
    return findPng(kLogoCatalogueFolder, imageName);
}

} // namespace corvane
