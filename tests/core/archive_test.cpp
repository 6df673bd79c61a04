#include "platform/core/KeyedArchiver.h"
#include "platform/core/KeyedUnarchiver.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>

using core::Bytes;
using core::KeyedArchiver;
using core::KeyedUnarchiver;
using core::Value;

namespace {

struct Part : core::Coding {
    std::string name;
    std::shared_ptr<Part> next;  // may point back at itself to make a cycle

    std::string className() const override { return "Part"; }
    void encode(KeyedArchiver& archiver) const override {
        archiver.encodeString("name", name);
        archiver.encodeObject("next", next);
    }
    static std::shared_ptr<core::Coding> decode(KeyedUnarchiver& unarchiver) {
        auto part = std::make_shared<Part>();
        part->name = unarchiver.decodeString("name").value_or("");
        part->next = unarchiver.decodeObject<Part>("next");
        return part;
    }
};

struct Settings : core::Coding {
    std::string text;
    std::int64_t small = 0, large = 0, smallest = 0;
    double ratio = 0;
    bool enabled = false;
    Bytes blob;
    Value parameters;
    std::set<std::string> names;
    std::shared_ptr<Part> part;
    std::optional<std::string> note;  // absent unless set

    std::string className() const override { return "Settings"; }
    void encode(KeyedArchiver& archiver) const override {
        archiver.encodeString("text", text);
        archiver.encodeInteger("small", small);
        archiver.encodeInteger("large", large);
        archiver.encodeInteger("smallest", smallest);
        archiver.encodeDouble("ratio", ratio);
        archiver.encodeBool("enabled", enabled);
        archiver.encodeBytes("blob", blob);
        archiver.encodeValue("parameters", parameters);
        archiver.encodeStringSet("names", names);
        archiver.encodeObject("part", part);
        if (note) {
            archiver.encodeString("note", *note);
        }
    }
    static std::shared_ptr<core::Coding> decode(KeyedUnarchiver& in) {
        auto settings = std::make_shared<Settings>();
        settings->text = in.decodeString("text").value_or("");
        settings->small = in.decodeInteger("small").value_or(0);
        settings->large = in.decodeInteger("large").value_or(0);
        settings->smallest = in.decodeInteger("smallest").value_or(0);
        settings->ratio = in.decodeDouble("ratio").value_or(0);
        settings->enabled = in.decodeBool("enabled").value_or(false);
        settings->blob = in.decodeBytes("blob").value_or(Bytes{});
        settings->parameters = in.decodeValue("parameters").value_or(Value());
        settings->names = in.decodeStringSet("names").value_or(std::set<std::string>{});
        settings->part = in.decodeObject<Part>("part");
        settings->note = in.decodeString("note");
        return settings;
    }
};

class Archive : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        KeyedUnarchiver::registerClass("Part", &Part::decode);
        KeyedUnarchiver::registerClass("Settings", &Settings::decode);
    }

    static Settings sample() {
        Settings settings;
        settings.text = "caf\xC3\xA9 \xF0\x9F\x93\xB7";
        settings.small = -42;
        settings.large = std::numeric_limits<std::int64_t>::max();
        settings.smallest = std::numeric_limits<std::int64_t>::min();
        settings.ratio = 0.1;
        settings.enabled = true;
        settings.blob = Bytes{0, 1, 0xFF, 0};
        settings.parameters =
            Value::Map{{"user", "Jo"},
                       {"filter", Value::Map{{"status", "open"}, {"tags", Value::List{"a", 2}}}},
                       {"id", 42},
                       {"gone", nullptr},
                       {"scale", 1.5},
                       {"flag", false},
                       {"raw", Bytes{9, 8}},
                       {"empty", Value::Map{}}};
        settings.names = {"NetworkingOperation", "JSONRequestOperation"};
        settings.part = std::make_shared<Part>();
        settings.part->name = "outer";
        settings.part->next = std::make_shared<Part>();
        settings.part->next->name = "inner";
        return settings;
    }
};

void appendBigEndian(Bytes& bytes, std::uint64_t value, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// A binary property list of `levels` nested arrays, each holding `references` references to
// the next one, and the integer 0 at the bottom.
Bytes nestedArrays(std::uint32_t levels, int references) {
    Bytes bytes = core::bytesFromString("bplist00");
    std::vector<std::uint64_t> offsets;
    for (std::uint32_t i = 0; i < levels; ++i) {
        offsets.push_back(bytes.size());
        bytes.push_back(static_cast<std::uint8_t>(0xA0 | references));
        for (int r = 0; r < references; ++r) {
            appendBigEndian(bytes, i + 1, 4);
        }
    }
    offsets.push_back(bytes.size());
    bytes.insert(bytes.end(), {0x10, 0x00});
    std::uint64_t table = bytes.size();
    for (std::uint64_t offset : offsets) {
        appendBigEndian(bytes, offset, 4);
    }
    bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 4, 4});
    appendBigEndian(bytes, offsets.size(), 8);
    appendBigEndian(bytes, 0, 8);
    appendBigEndian(bytes, table, 8);
    return bytes;
}

std::vector<std::string> keysOf(const Value& value) {
    std::vector<std::string> keys;
    for (const auto& entry : *value.asMap()) {
        keys.push_back(entry.first);
    }
    return keys;
}

}  // namespace

TEST_F(Archive, EveryKindOfValueRoundTrips) {
    Settings original = sample();
    auto data = KeyedArchiver::archivedDataWithRootObject(original);
    ASSERT_TRUE(data) << data.error().description();
    auto decoded = KeyedUnarchiver::unarchiveObjectWithData(*data);
    ASSERT_TRUE(decoded) << decoded.error().description();
    auto copy = std::dynamic_pointer_cast<Settings>(*decoded);
    ASSERT_NE(copy, nullptr);

    EXPECT_EQ(copy->text, original.text);
    EXPECT_EQ(copy->small, -42);
    EXPECT_EQ(copy->large, original.large);
    EXPECT_EQ(copy->smallest, original.smallest);
    EXPECT_EQ(copy->ratio, 0.1);
    EXPECT_TRUE(copy->enabled);
    EXPECT_EQ(copy->blob, original.blob);
    EXPECT_EQ(copy->parameters, original.parameters);
    EXPECT_EQ(keysOf(copy->parameters), keysOf(original.parameters));
    EXPECT_TRUE(copy->parameters.find("gone")->isNull());
    EXPECT_TRUE(copy->parameters.find("flag")->isBool());
    EXPECT_EQ(copy->names, original.names);
    ASSERT_NE(copy->part, nullptr);
    EXPECT_EQ(copy->part->name, "outer");
    ASSERT_NE(copy->part->next, nullptr);
    EXPECT_EQ(copy->part->next->name, "inner");
    EXPECT_EQ(copy->part->next->next, nullptr);
    EXPECT_FALSE(copy->note.has_value());
}

TEST_F(Archive, AValueOfTheWrongKindIsReportedAndNotConverted) {
    KeyedArchiver archiver;
    archiver.encodeString("baseURL", "http://127.0.0.1/");
    archiver.encodeValue("defaultHeaders", Value::Map{{"Accept", "*/*"}});
    auto unarchiver = KeyedUnarchiver::create(*archiver.finishEncoding());
    ASSERT_TRUE(unarchiver);
    EXPECT_FALSE(unarchiver->decodeInteger("baseURL").has_value());
    ASSERT_TRUE(unarchiver->error().has_value());
    EXPECT_EQ(unarchiver->error()->domain(), core::CoderErrorDomain);
    EXPECT_EQ(unarchiver->error()->code(),
              static_cast<std::int64_t>(core::CoderError::ReadCorrupt));
    EXPECT_NE(unarchiver->error()->localizedDescription().find("baseURL"), std::string::npos);
    EXPECT_FALSE(unarchiver->decodeObject("defaultHeaders"));
    EXPECT_FALSE(unarchiver->decodeStringSet("defaultHeaders"));
}

TEST_F(Archive, UnknownClassesAndMissingRootsAreErrors) {
    struct Unregistered : core::Coding {
        std::string className() const override { return "NoSuchClass"; }
        void encode(KeyedArchiver&) const override {}
    };
    auto unknown = KeyedUnarchiver::unarchiveObjectWithData(
        *KeyedArchiver::archivedDataWithRootObject(Unregistered{}));
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.error().localizedDescription().find("NoSuchClass"), std::string::npos);

    KeyedArchiver empty;
    auto noRoot = KeyedUnarchiver::unarchiveObjectWithData(*empty.finishEncoding());
    ASSERT_FALSE(noRoot);
    EXPECT_EQ(noRoot.error().code(), static_cast<std::int64_t>(core::CoderError::ValueNotFound));
}

TEST_F(Archive, ValuesThatCannotBeArchivedFailTheArchive) {
    auto looped = std::make_shared<Part>();
    looped->next = looped;
    auto cycle = KeyedArchiver::archivedDataWithRootObject(*looped);
    looped->next.reset();
    ASSERT_FALSE(cycle);
    EXPECT_EQ(cycle.error().code(), static_cast<std::int64_t>(core::CoderError::InvalidValue));

    KeyedArchiver badText;
    badText.encodeString("name", "bad \xFF text");
    EXPECT_FALSE(badText.finishEncoding());

    KeyedArchiver nul;
    nul.encodeValue("v", Value(std::string("a\0b", 3)));
    EXPECT_FALSE(nul.finishEncoding());

    Value deep = 1;
    for (int i = 0; i < 100; ++i) {
        deep = Value::List{deep};
    }
    KeyedArchiver tooDeep;
    tooDeep.encodeValue("deep", deep);
    EXPECT_FALSE(tooDeep.finishEncoding());
}

TEST_F(Archive, DamagedOrTruncatedInputIsAnErrorNeverACrash) {
    EXPECT_FALSE(KeyedUnarchiver::create({}));
    EXPECT_FALSE(KeyedUnarchiver::create(core::bytesFromString("not an archive at all")));
    EXPECT_FALSE(KeyedUnarchiver::create(core::bytesFromString("bplist00")));

    const Bytes data = *KeyedArchiver::archivedDataWithRootObject(sample());
    for (std::size_t length = 0; length < data.size(); ++length) {
        Bytes truncated(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData(truncated)) << length;
    }
    // Damage every byte in turn: each result is an error or a Settings, never a crash.
    int rejected = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        Bytes damaged = data;
        damaged[i] ^= 0x5A;
        auto result = KeyedUnarchiver::unarchiveObjectWithData(damaged);
        if (!result) {
            ++rejected;
        } else {
            EXPECT_NE(std::dynamic_pointer_cast<Settings>(*result), nullptr);
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST_F(Archive, HostileNestingIsRefusedBeforeParsing) {
    // Deep enough to overflow a recursive parser's stack.
    auto deep = KeyedUnarchiver::create(nestedArrays(200'000, 1));
    ASSERT_FALSE(deep);
    EXPECT_EQ(deep.error().code(), static_cast<std::int64_t>(core::CoderError::ReadCorrupt));
    // Shallow, but 2^40 nodes once every shared reference is expanded.
    EXPECT_FALSE(KeyedUnarchiver::create(nestedArrays(40, 2)));
    // The same shapes within the limits parse (and are then not keyed archives).
    for (auto modest : {nestedArrays(300, 1), nestedArrays(12, 2)}) {
        auto result = KeyedUnarchiver::create(modest);
        ASSERT_FALSE(result);
        EXPECT_NE(result.error().localizedDescription().find("not a keyed archive"),
                  std::string::npos);
    }
}
