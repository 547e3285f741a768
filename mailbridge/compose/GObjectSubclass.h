#pragma once

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GObjectPtr.h"

#include <cstddef>
#include <new>
#include <type_traits>

// A GObject subclass whose every instance owns one C++ object of Traits::State, made in the
// instance's init and destroyed in its finalize, so that the state lives exactly as long as
// the last reference. Traits gives:
//   using Parent, ParentClass;              the GObject instance and class structs derived from
//   using State;                            default-constructible without throwing
//   static GType parentType();
//   static const char *typeName();
//   static void initClass(ParentClass *);   fills the method slots the subclass replaces
template <typename Traits> class GObjectSubclass
{
public:
    using Parent = typename Traits::Parent;
    using ParentClass = typename Traits::ParentClass;
    using State = typename Traits::State;

    static_assert(std::is_nothrow_default_constructible_v<State>,
                  "made inside GLib's instance init, where nothing may throw");
    static_assert(alignof(State) <= alignof(std::max_align_t));

    static GType type()
    {
        // GLib registers a type once; a static local makes every later call a plain read.
        static const GType registered = g_type_register_static_simple(
            Traits::parentType(), Traits::typeName(), sizeof(Class), &classInit, sizeof(Instance),
            &instanceInit, GTypeFlags(0));
        return registered;
    }

    // A new instance; the pointer holds its only reference.
    static GObjectPtr<Parent> create()
    {
        return adoptGObject(static_cast<Parent *>(g_object_new(type(), nullptr)));
    }

    // The state of an instance of this type; nullptr for null and for any other object.
    static State *stateOf(gpointer object)
    {
        if (!object || !G_TYPE_CHECK_INSTANCE_TYPE(object, type()))
            return nullptr;
        return stateIn(object);
    }

    // The class this one derives from, for methods that pass a call on.
    static ParentClass *parentClass() { return static_cast<ParentClass *>(s_parentClass); }

private:
    struct Instance
    {
        Parent parent;
        alignas(State) std::byte state[sizeof(State)];
    };
    struct Class
    {
        ParentClass parent;
    };

    static State *stateIn(gpointer object)
    {
        return std::launder(reinterpret_cast<State *>(static_cast<Instance *>(object)->state));
    }

    static void classInit(gpointer klass, gpointer)
    {
        s_parentClass = g_type_class_peek_parent(klass);
        G_OBJECT_CLASS(klass)->finalize = &finalize;
        Traits::initClass(static_cast<ParentClass *>(klass));
    }

    static void instanceInit(GTypeInstance *instance, gpointer)
    {
        new (static_cast<Instance *>(static_cast<gpointer>(instance))->state) State();
    }

    static void finalize(GObject *object)
    {
        stateIn(object)->~State();
        G_OBJECT_CLASS(s_parentClass)->finalize(object);
    }

    static inline gpointer s_parentClass = nullptr;
};
