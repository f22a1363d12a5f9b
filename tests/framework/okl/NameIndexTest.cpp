// The database's name index: look-ups by name answer as the depth-first walk does, through
// every change of the tree, and many objects are found without walking them.
#include "OklTestSupport.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zel::test {

namespace {

class NameIndex : public OklTest {
protected:
    static std::unique_ptr<OKLObject> make(const std::string& type, const std::string& name) {
        return ObjectFactory::instance()->createObject(type, name);
    }
    static OKLObject* addTop(const std::string& name) { return db()->addObject(make("GROUP", name)); }
    static OKLObject* add(OKLObject* parent, const std::string& name) {
        return db()->addObject(make("ITEM", name), parent);
    }

    // The look-up as a walk: a top-level object of the name, else the first object of the
    // name met in the depth-first walk that lists every object.
    static OKLObject* walkTwin(const std::string& name) {
        if (OKLObject* top = topTwin(name)) return top;
        for (OKLObject* o : db()->getAllObjects())
            if (o->getName() == name) return o;
        return nullptr;
    }
    static OKLObject* topTwin(const std::string& name) {
        for (OKLObject* o : db()->getTopObjects())
            if (o->getName() == name) return o;
        return nullptr;
    }
};

// Every object of a free or database tree, the root first.
std::vector<OKLObject*> subtree(OKLObject& root) {
    std::vector<OKLObject*> out{&root};
    for (std::size_t i = 0; i < out.size(); ++i)
        for (OKLObject* c : out[i]->getChildren()) out.push_back(c);
    return out;
}

std::string numbered(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    return s;
}

} // namespace

TEST_F(NameIndex, EqualNamesAnswerInWalkOrder) {
    OKLObject* a = addTop("A");
    OKLObject* b = addTop("B");
    OKLObject* bx = add(b, "X"); // made first, but A and all below it walk first
    OKLObject* ax = add(a, "X");
    add(add(ax, "Y"), "X"); // below ax: a parent walks before its children
    EXPECT_EQ(db()->getObjectByName("X"), ax);
    db()->deleteObject(ax);
    EXPECT_EQ(db()->getObjectByName("X"), bx);
    EXPECT_FALSE(db()->hasObject("Y"));

    // A child given back to its parent goes after its siblings.
    OKLObject* p = addTop("P");
    OKLObject* c1 = add(p, "C1");
    OKLObject* z1 = add(c1, "Z");
    OKLObject* z2 = add(add(p, "C2"), "Z");
    EXPECT_EQ(db()->getObjectByName("Z"), z1);
    std::unique_ptr<OKLObject> owned = p->releaseChild(c1);
    EXPECT_FALSE(db()->contains(owned.get()));
    EXPECT_FALSE(db()->contains(z1));
    EXPECT_FALSE(db()->hasObject("C1"));
    EXPECT_EQ(db()->getObjectByName("Z"), z2);
    p->addChild(std::move(owned));
    EXPECT_TRUE(db()->contains(z1));
    EXPECT_EQ(db()->getObjectByName("C1"), c1);
    EXPECT_EQ(db()->getObjectByName("Z"), z2);

    // A top-level object of the name comes first, however late it was made.
    OKLObject* zTop = addTop("Z");
    EXPECT_EQ(db()->getObjectByName("Z"), zTop);
    EXPECT_EQ(db()->getTopObjectByName("Z"), zTop);
    EXPECT_TRUE(db()->deleteObject("Z"));
    EXPECT_EQ(db()->getTopObjectByName("Z"), nullptr);
    EXPECT_EQ(db()->getObjectByName("Z"), z2);

    db()->clear();
    for (const char* name : {"A", "B", "X", "P", "C1", "Z"}) EXPECT_FALSE(db()->hasObject(name)) << name;
}

// Random adds, deletes, renames (a new object of the new name takes over the children),
// moves, command blocks (some failing and rolled back) and clears over a few names, so that
// names are shared often; after every step each name is looked up both ways.
TEST_F(NameIndex, MatchesTheWalkThroughRandomChanges) {
    const std::vector<std::string> names{"A", "B", "C", "D", "E", "F", "G"};
    const std::vector<std::string> types{"GROUP", "ITEM"};
    std::mt19937 rng(20240611);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto randomName = [&] { return names[pick(names.size())]; };
    const auto randomType = [&] { return types[pick(types.size())]; };
    const auto randomObject = [&]() -> OKLObject* {
        const std::vector<OKLObject*> all = db()->getAllObjects();
        return all.empty() ? nullptr : all[pick(all.size())];
    };
    // A free tree of up to three levels, sibling names distinct.
    const auto freeTree = [&](int levels) {
        std::unique_ptr<OKLObject> root = make(randomType(), randomName());
        std::vector<OKLObject*> layer{root.get()};
        for (int l = 1; l < levels; ++l) {
            std::vector<OKLObject*> next;
            for (OKLObject* o : layer)
                for (std::size_t k = pick(3); k > 0; --k)
                    if (const std::string n = randomName(); !o->findChild(n))
                        next.push_back(o->addChild(make(randomType(), n)));
            layer = std::move(next);
        }
        return root;
    };
    const auto blockText = [&] {
        std::string text;
        const auto open = [&](int indent) {
            text.append(std::size_t(indent), ' ');
            text += randomType();
            text += ": ";
            text += randomName();
            text += '\n';
        };
        const auto close = [&](int indent) {
            text.append(std::size_t(indent), ' ');
            text += "END\n";
        };
        open(0);
        for (std::size_t k = pick(3); k > 0; --k) {
            open(2);
            if (pick(2) == 0) {
                open(4);
                close(4);
            }
            close(2);
        }
        close(0);
        return text;
    };

    int shared = 0, failedBlocks = 0, refusedDuplicates = 0, moves = 0;
    const auto check = [&](int step) {
        for (const std::string& n : names) {
            OKLObject* found = db()->getObjectByName(n);
            ASSERT_EQ(found, walkTwin(n)) << "name " << n << " after step " << step;
            ASSERT_EQ(db()->getTopObjectByName(n), topTwin(n)) << "name " << n << " after step " << step;
            if (found && found->getParent())
                for (OKLObject* o : db()->getAllObjects())
                    if (o != found && o->getName() == n) {
                        ++shared; // a nested answer chosen among several holders
                        break;
                    }
        }
        for (OKLObject* o : db()->getAllObjects())
            ASSERT_TRUE(db()->contains(o)) << o->getPath() << " after step " << step;
    };
    const auto expectFree = [&](OKLObject& root) {
        for (OKLObject* o : subtree(root)) EXPECT_FALSE(db()->contains(o)) << o->getName();
    };
    // Adds a free tree under parent (null: the top level); the database refuses a name its
    // new siblings hold already.
    const auto attach = [&](std::unique_ptr<OKLObject> tree, OKLObject* parent) {
        const bool taken = parent ? parent->findChild(tree->getName()) != nullptr
                                  : db()->getTopObjectByName(tree->getName()) != nullptr;
        if (taken) {
            EXPECT_THROW(db()->addObject(std::move(tree), parent), data::duplicate);
            ++refusedDuplicates;
        } else if (parent && pick(2) == 0) {
            parent->addChild(std::move(tree)); // directly, past the database
        } else {
            db()->addObject(std::move(tree), parent);
        }
    };

    for (int step = 0; step < 3000; ++step) {
        const bool crowded = db()->getAllObjects().size() > 120;
        const std::size_t op = crowded ? 6 : pick(12); // crowded: delete
        OKLObject* o = randomObject();
        if (step % 1000 == 999) {
            db()->clear();
        } else if (op <= 1 || !o) {
            attach(make(randomType(), randomName()), nullptr);
        } else if (op <= 4) {
            attach(make(randomType(), randomName()), o);
        } else if (op == 5) {
            attach(freeTree(3), pick(3) == 0 ? nullptr : o);
        } else if (op <= 7) {
            if (pick(2) == 0)
                db()->deleteObject(o);
            else
                EXPECT_TRUE(db()->deleteObject(o->getName()));
        } else if (op == 8) {
            // Renaming: an object of the new name takes the children over.
            const std::string name = randomName();
            if (OKLObject* parent = o->getParent()) {
                std::unique_ptr<OKLObject> old = parent->releaseChild(o);
                expectFree(*old);
                std::unique_ptr<OKLObject> renamed = make(old->getType(), name);
                for (OKLObject* c : old->getChildren()) renamed->addChild(old->releaseChild(c));
                attach(std::move(renamed), parent);
            } else if (!db()->getTopObjectByName(name)) {
                OKLObject* renamed = db()->addObject(make(o->getType(), name));
                for (OKLObject* c : o->getChildren())
                    renamed->addChild(o->releaseChild(c)); // from one database object to another
                db()->deleteObject(o);
            }
        } else if (op <= 10) {
            // Moving a nested object elsewhere: to the top level or under another object.
            if (OKLObject* parent = o->getParent()) {
                std::unique_ptr<OKLObject> moved = parent->releaseChild(o);
                expectFree(*moved);
                attach(std::move(moved), pick(3) == 0 ? nullptr : randomObject());
                ++moves;
            }
        } else {
            try {
                run(blockText());
            } catch (const okl::error&) {
                ++failedBlocks; // a type clash: the block's new objects are taken out again
            }
        }
        ASSERT_NO_FATAL_FAILURE(check(step));
    }
    // The sequence went through the cases that matter.
    EXPECT_GT(shared, 1000);
    EXPECT_GT(failedBlocks, 50);
    EXPECT_GT(refusedDuplicates, 200);
    EXPECT_GT(moves, 150);
}

// 200 top-level objects, each heading a chain 99 deep: every name is found without a walk
// over the others (a walk would visit 10,000 objects a look-up on average).
TEST_F(NameIndex, FindsEveryObjectOfTwentyThousand) {
    constexpr int chains = 200, depth = 100;
    std::vector<OKLObject*> made;
    made.reserve(chains * depth);
    for (int c = 0; c < chains; ++c) {
        OKLObject* o = addTop(numbered("T", c));
        made.push_back(o);
        for (int d = 1; d < depth; ++d) {
            o = add(o, numbered("N", c * depth + d));
            made.push_back(o);
        }
    }
    // Three holders of one name: the deepest in chain 150, then halfway down chain 100, then
    // (made last) at the bottom of chain 0, which the walk meets first.
    OKLObject* late = made[std::size_t(150 * depth + depth - 1)];
    add(late, "Twin");
    add(made[std::size_t(100 * depth + depth / 2)], "Twin");
    OKLObject* first = add(made[std::size_t(depth - 1)], "Twin");

    int wrong = 0;
    for (OKLObject* o : made)
        if (db()->getObjectByName(o->getName()) != o || !db()->contains(o)) ++wrong;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(db()->getObjectByName("Twin"), first);
    EXPECT_EQ(db()->getObjectByName("Twin"), walkTwin("Twin"));

    db()->deleteObject(made[0]); // chain 0 and its Twin
    EXPECT_EQ(db()->getObjectByName("Twin"), walkTwin("Twin"));
    EXPECT_EQ(db()->getObjectByName("Twin")->getParent(), made[std::size_t(100 * depth + depth / 2)]);
    EXPECT_EQ(db()->getObjectByName(numbered("N", depth - 1)), nullptr);
    db()->clear();
    EXPECT_EQ(db()->getObjectByName("Twin"), nullptr);
    EXPECT_EQ(db()->getObjectByName(numbered("T", chains - 1)), nullptr);
}

} // namespace zel::test
