#include "results/blewresultstring.h"

#include "platform/system/random.h"

#include <QStringView>
#include <iterator>

namespace {
struct Entry {
    const char16_t* key;
    const char16_t* text;
};

// Stored exactly as written, with their mix of full-width and ASCII punctuation.
constexpr Entry kTable[] = {
    {u"BlewLvl_0_0", u"您一定是像林黛玉一样的娇弱女子(你确定吹了吗!!?)"},
    {u"BlewLvl_0_1", u"你这口气吹得太低调，使劲儿点,别有顾虑."},
    {u"BlewLvl_0_2", u"我知道你是个要面子的人，此结果我暂不做评价!"},
    {u"BlewLvl_0_3", u"对你来说,吹气球将是人生中最大的挑战!"},
    {u"BlewLvl_0_4", u"你确定刚才是用嘴吹的？"},
    {u"BlewLvl_0_5", u"亲,恭喜!你的肺活量已经达到3岁的水平！"},
    {u"BlewLvl_0_6", u"你吹气的表情真可爱，就是没有吹出气来!"},
    {u"BlewLvl_0_7", u"哎呦哎呦哎呦，哎呦，你说你说我们能不能好好吹气。"},
    {u"BlewLvl_0_8", u"你确定是对着我吹的吗?"},
    {u"BlewLvl_0_9", u"气短不是你的错，孩子别灰心，你未来的路还很长!"},
    {u"BlewLvl_0_10", u"吹气时间越长，肺活量越高，再试一次。"},
    {u"BlewLvl_0_11", u"有多少爱可以重来，有多少肺活量超不了!"},
    {u"BlewLvl_0_12", u"没吹出多少气，吐我一脸吐沫星子，有意思吗?"},
    {u"BlewLvl_0_13", u"孩子，你可能还没有到测试肺活量的年龄。来，让旁边的阿姨试试。"},
    {u"BlewLvl_0_14", u"多一起运动，吹吹更健康！"},
    {u"BlewLvl_0_15", u"你最近身体太虚，鉴定完毕!"},
    {u"BlewLvl_1_0", u"请用嘴吹,排放尾气不算成绩。"},
    {u"BlewLvl_1_1", u"您的存在让口香糖产业有了突飞猛进的发展!"},
    {u"BlewLvl_1_2", u"这就结束了？你的耐力很让我失望!"},
    {u"BlewLvl_1_3", u"你柔弱的气息无法掩饰你狂野的内心，我懂你~"},
    {u"BlewLvl_1_4", u"哎，很为你担心。为了我们的孩子，戒了吧!"},
    {u"BlewLvl_1_5", u"你的气息一吹万里，你的口水滋润了大地。"},
    {u"BlewLvl_1_6", u"亲，再使劲点，让我感受到你的存在!"},
    {u"BlewLvl_1_7", u"你就别装文艺小青年了，赶紧给老娘好好吹！"},
    {u"BlewLvl_1_8", u"你这肺活量…能挣点气不！平时吹牛咋那么有劲呢！？"},
    {u"BlewLvl_1_9", u"就你这小身子骨!咋报效祖国，加强锻炼！"},
    {u"BlewLvl_1_10", u"你吹的不是肺活量，是一种情怀，我懂你！"},
    {u"BlewLvl_1_11", u"乖～别闹，用“嘴”再吹一次。"},
    {u"BlewLvl_1_12", u"彪悍的人生不需要解释！我就是我，吹个不一样的结果！"},
    {u"BlewLvl_1_13", u"来吧，让吐沫口水来得更猛烈些吧！"},
    {u"BlewLvl_1_14", u"你的嘴和中国足球一样，咋就那么不争气呢 ~"},
    {u"BlewLvl_1_15", u"把你嘴里那仨馒头咽了再重新吹一次！"},
    {u"BlewLvl_1_16", u"再使劲点吹！吹气又不会怀孕!!!"},
    {u"BlewLvl_1_17", u"我知道你是好面子的人，所以婉转点说：我打个嗝都比你吹得高"},
    {u"BlewLvl_1_18", u"吹气要豁得出去！就像谈恋爱，要“坚持”要“不要脸”要“坚持不要脸”"},
    {u"BlewLvl_2_0", u"床前明月光，疑是地上霜；举头吹口气，吐沫喷一地。"},
    {u"BlewLvl_2_1", u"亲，您一口没吹出多少气，口水倒是喷了一屏幕!"},
    {u"BlewLvl_2_2", u"亲，就凭这气量，你5米以内很难会有幸存者。"},
    {u"BlewLvl_2_3", u"瞧对面那个人,假发都被你吹掉了！"},
    {u"BlewLvl_2_4", u"没想到你性感的小嘴能吹出如此大的气量"},
    {u"BlewLvl_2_5", u"经肺活量测试,你是“纯爷们儿”,鉴定完毕!"},
    {u"BlewLvl_2_6", u"有你的存在，电风扇的发明完全是多余的。"},
    {u"BlewLvl_2_7",
     u"你在我心中是最美，每一个微笑都让我沉醉。你的坏，你的好，你使劲吹时鼓起的嘴。"},
    {u"BlewLvl_2_8", u"能不能打起点精神来！？再来一次!"},
    {u"BlewLvl_2_9", u"老实交代！刚才吃蒜没有！？"},
    {u"BlewLvl_2_10", u"吹气就像是生宝宝，不能光声大，重点是要持续使劲！"},
    {u"BlewLvl_2_11", u"小朋友，我看你天赋异禀、气力惊人，想来是百年难得一见的吹气奇才。"},
    {u"BlewLvl_2_12", u"很爱你吹气萌萌的表情，咱吹气时必须要斗鸡眼吗！"},
    {u"BlewLvl_2_13", u"东风吹，战鼓擂，你这张大嘴怕过谁！！"},
    {u"BlewLvl_2_14", u"这次不理想，把假牙摘了再吹一次试试？"},
    {u"BlewLvl_2_15", u"哎呀我去！你这口气!怎么跟中国足球似的！"},
    {u"BlewLvl_2_16", u"有没有点素质！？吹气可以，别吐口水！"},
    {u"BlewLvl_3_0", u"壮士！别吹了,您一口气地球都偏离轨道了！"},
    {u"BlewLvl_3_1", u"你的一口气,让我感受到在大自然面前人类是如此的渺小!"},
    {u"BlewLvl_3_2", u"你是风儿,我是沙；别吹了，都快沙尘暴了!"},
    {u"BlewLvl_3_3", u"你的嘴就是世界第八大奇迹，你活的太低调了！"},
    {u"BlewLvl_3_4", u"你一定是国家一级运动员,别解释,你的肺活量已经出卖你了"},
    {u"BlewLvl_3_5", u"你的肺活量让生物学家对人类有了新的认识"},
    {u"BlewLvl_3_6", u"老实交代,你是一个人吹的吗，太不可思议了!!"},
    {u"BlewLvl_3_7", u"人类已经无法阻止你逆天的肺活量了，太恐怖了！"},
    {u"BlewLvl_3_8", u"你能救活十个风力发电站,地球很需要你!"},
    {u"BlewLvl_3_9", u"你吹亮雪花，你吹凉酷夏，你吹飞了对面兄弟的假发！"},
    {u"BlewLvl_3_10", u"你听，海哭的声音；你吹，海笑（啸）了"},
    {u"BlewLvl_3_11", u"你的气力令人惊叹！就像词句中写到：千呼万唤屎出来"},
    {u"BlewLvl_3_12", u"哎呀大哥，你老低调了。每次都吹那么高，就是不分享"},
    {u"BlewLvl_3_13", u"有你在，电风扇都不好意思转"},
    {u"BlewLvl_3_14", u"你再次吹气时，需要警告周围的姑娘们把裙子捂住了"},
    {u"BlewLvl_3_15", u"你应该去风力发电站工作"},
    {u"BlewLvl_3_16", u"老实交代兄弟，吹了这么久，迷糊没？"},
    {u"BlewLvl_3_17", u"你可以吹走雾霾，你可以拯救北京，鉴定完毕！"},
    {u"BlewLvl_3_18", u"老实交代，到底是几个人一起吹的？"},
};

constexpr qint32 kBandCounts[] = {16, 19, 17, 19};
} // namespace

QString BlewResultString::Pick::shortKey() const {
    return QString::asprintf("%d_%d", band, index);
}

QString BlewResultString::Pick::key() const {
    return QString::asprintf("BlewLvl_%d_%d", band, index);
}

BlewResultString& BlewResultString::sharedInstance() {
    static BlewResultString instance;
    return instance;
}

void BlewResultString::loadBook() {
    if (!m_resultBook)
        m_resultBook = std::make_shared<Book>();
    for (const Entry& entry : kTable)
        m_resultBook->insert(QStringView(entry.key).toString(), QStringView(entry.text).toString());
}

QString BlewResultString::getResultString(const QString& key) const {
    if (!m_resultBook)
        return {};
    const auto it = m_resultBook->constFind(key);
    return it == m_resultBook->constEnd() ? QString() : it.value();
}

void BlewResultString::releaseBook() {
    // Whoever still holds the table sees it emptied, as with a shared dictionary.
    if (m_resultBook)
        m_resultBook->clear();
    m_resultBook.reset();
}

qint32 BlewResultString::bandFor(qint32 capacity) {
    if (capacity <= 1499)
        return 0;
    if (capacity <= 2999)
        return 1;
    if (capacity <= 4499)
        return 2;
    return 3;
}

qint32 BlewResultString::countFor(qint32 band) {
    if (band < 0 || band >= qint32(std::size(kBandCounts)))
        return 0;
    return kBandCounts[band];
}

qint32 BlewResultString::indexFor(qint32 band, quint32 r) {
    if (band == 0)
        return qint32(r & 15u);
    const qint32 count = countFor(band);
    return count > 0 ? qint32(r % quint32(count)) : 0;
}

BlewResultString::Pick BlewResultString::pick(qint32 capacity, quint32 r) {
    const qint32 band = bandFor(capacity);
    return {band, indexFor(band, r)};
}

BlewResultString::Pick BlewResultString::pick(qint32 capacity) {
    return pick(capacity, Random::shared().next());
}

QString BlewResultString::keyForShortKey(const QString& shortKey) {
    return QStringLiteral("BlewLvl_") + shortKey;
}
