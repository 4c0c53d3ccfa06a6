// vComponent: one BEGIN/END block with its properties and nested blocks.
#include <cstddef>
#include <cstdlib>

#include "versit/vMemory.h"
#include "versit/vRecords.h"

static_assert(offsetof(vComponent, name) == 0, "vComponent field order");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(vComponent, componentType) == 4 && offsetof(vComponent, extraData) == 8 &&
                  offsetof(vComponent, propertyList) == 12 &&
                  offsetof(vComponent, subComponent) == 16 && offsetof(vComponent, next) == 20 &&
                  offsetof(vComponent, parent) == 24 && sizeof(vComponent) == 28,
              "vComponent layout of the 32-bit interface");
#endif

namespace {

void adoptProperties(vComponent *component) {
    for (vProperty *p = component->propertyList; p != nullptr; p = p->next)
        p->parentComponent = component;
}

void linkSubcomponent(vComponent *component, vComponent *subcomponent) {
    subcomponent->next = component->subComponent;
    subcomponent->parent = component;
    component->subComponent = subcomponent;
}

// Nesting comes from the text being read, so it may be deep: instead of
// recursing, a release splices each component's children into the chain
// right behind it, to be released in turn. The component after it.
vComponent *spliceChildren(vComponent *component) {
    if (vComponent *children = component->subComponent) {
        vComponent *last = children;
        while (last->next != nullptr)
            last = last->next;
        last->next = component->next;
        component->next = children;
        component->subComponent = nullptr;
    }
    return component->next;
}

} // namespace

namespace vrec {

void releaseChain(vComponent *component) {
    while (component != nullptr) {
        vComponent *next = spliceChildren(component);
        vmem::releaseName(component->name);
        vmem::release(component->extraData);
        releaseChain(component->propertyList);
        vmem::releaseRecord(vmem::Record::Component, component, sizeof(vComponent));
        component = next;
    }
}

void releaseOutside(vComponent *component, const vmem::Arena &arena) {
    auto drop = [&arena](void *block) {
        if (block != nullptr && !arena.owns(block)) std::free(block);
    };
    auto dropValues = [&drop](vValue *v) {
        while (v != nullptr) {
            vValue *next = v->next;
            drop(v->data);
            drop(v);
            v = next;
        }
    };
    while (component != nullptr) {
        vComponent *next = spliceChildren(component);
        for (vProperty *p = component->propertyList; p != nullptr;) {
            vProperty *nextProperty = p->next;
            for (vParameter *q = p->parameterList; q != nullptr;) {
                vParameter *nextParameter = q->next;
                drop(q->name);
                dropValues(q->valueList);
                drop(q);
                q = nextParameter;
            }
            dropValues(p->valueList);
            drop(p->name);
            drop(p);
            p = nextProperty;
        }
        drop(component->name);
        drop(component->extraData);
        drop(component);
        component = next;
    }
}

} // namespace vrec

extern "C" {

VERSIT_API vComponent *VLIB_new_vComponent(int32_t componentType, const char *name,
                                           vProperty *propertyList, vComponent *subComponent,
                                           vComponent *next) {
    // Logged under the property constructor's label, as it always has been:
    // log readers search for that text.
    constexpr const char *kLabel = "VLIB_new_vProperty()";
    auto *component = static_cast<vComponent *>(
        vmem::allocateRecord(vmem::Record::Component, sizeof(vComponent)));
    if (component == nullptr) {
        vrec::logNoCore(kLabel);
        return nullptr;
    }
    component->name = vmem::duplicateName(name != nullptr ? name : "");
    if (component->name == nullptr) {
        vmem::releaseRecord(vmem::Record::Component, component, sizeof(vComponent));
        vrec::logNoCore(kLabel);
        return nullptr;
    }
    component->componentType = componentType;
    component->extraData = nullptr;
    component->propertyList = propertyList;
    component->subComponent = subComponent;
    component->next = next;
    component->parent = nullptr;
    adoptProperties(component);
    return component;
}

VERSIT_API vComponent *VLIB_dup_vComponent(const vComponent *component) {
    if (component == nullptr) return nullptr;
    vrec::ChainGuard<vProperty> properties(VLIB_dup_vProperty_recursive(component->propertyList));
    if (component->propertyList != nullptr && properties.get() == nullptr) return nullptr;
    vComponent *copy = VLIB_new_vComponent(component->componentType, component->name,
                                           properties.get(), nullptr, nullptr);
    if (copy != nullptr) properties.release();
    return copy;
}

// Copies `component` with its properties and, at every depth, its
// subcomponents, each linked at the head of its copied parent's list (so
// they stand in reverse order, as adding them one by one would leave them).
// The siblings that follow `component` are not copied: a copy of a
// subcomponent must carry that subcomponent alone, and the top copy is
// treated the same way, so every copied record is reachable exactly once.
VERSIT_API vComponent *VLIB_dup_vComponent_recursive(const vComponent *component) {
    vrec::ChainGuard<vComponent> copy(VLIB_dup_vComponent(component));
    if (copy.get() == nullptr) return nullptr;
    for (const vComponent *sub = component->subComponent; sub != nullptr; sub = sub->next) {
        vComponent *subCopy = VLIB_dup_vComponent_recursive(sub);
        if (subCopy == nullptr) return nullptr;
        linkSubcomponent(copy.get(), subCopy);
    }
    return copy.release();
}

VERSIT_API void VLIB_destroy_vComponent(vComponent **component) { vrec::destroyThrough(component); }

VERSIT_API vComponent *VLIB_add_vComponent_property(vComponent *component, vProperty *property) {
    if (component == nullptr || property == nullptr) return nullptr;
    property->next = component->propertyList;
    property->parentComponent = component;
    component->propertyList = property;
    return component;
}

VERSIT_API vComponent *VLIB_add_vComponent_subcomponent(vComponent *component,
                                                        vComponent *subcomponent) {
    if (component == nullptr || subcomponent == nullptr) return nullptr;
    linkSubcomponent(component, subcomponent);
    return component;
}

VERSIT_API vComponent *VLIB_set_vComponent_name(vComponent *component, const char *name) {
    if (component == nullptr) return nullptr;
    return vrec::replaceName(component->name, name, "VLIB_set_vComponent_name()") ? component
                                                                                  : nullptr;
}

VERSIT_API vComponent *VLIB_set_vComponent_parent(vComponent *component, vComponent *parent) {
    if (component != nullptr) component->parent = parent;
    return component;
}

VERSIT_API vComponent *VLIB_set_vComponent_componentType(vComponent *component,
                                                         int32_t componentType) {
    if (component != nullptr) component->componentType = componentType;
    return component;
}

VERSIT_API vComponent *VLIB_set_vComponent_propertyList(vComponent *component,
                                                        vProperty *propertyList) {
    if (component != nullptr) component->propertyList = propertyList;
    return component;
}

VERSIT_API int32_t VLIB_set_vComponent_extraData(vComponent *component, void *extraData) {
    if (component == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (component->extraData != extraData) vmem::release(component->extraData);
    component->extraData = extraData;
    return 0;
}

VERSIT_API int32_t VLIB_get_vComponent_extraData(const vComponent *component, void **extraData) {
    if (component == nullptr || extraData == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *extraData = component->extraData;
    return 0;
}

VERSIT_API char *VLIB_get_vComponent_name(const vComponent *component) {
    return component != nullptr ? component->name : nullptr;
}

VERSIT_API int32_t VLIB_get_vComponent_componentType(const vComponent *component) {
    return component != nullptr ? component->componentType : VLIB_COMPONENT_UNIDENTIFIED;
}

VERSIT_API vProperty *VLIB_get_vComponent_propertyList(const vComponent *component) {
    return component != nullptr ? component->propertyList : nullptr;
}

VERSIT_API vComponent *VLIB_get_vComponent_subComponent(const vComponent *component) {
    return component != nullptr ? component->subComponent : nullptr;
}

VERSIT_API vComponent *VLIB_get_vComponent_next(const vComponent *component) {
    return component != nullptr ? component->next : nullptr;
}

VERSIT_API vComponent *VLIB_get_vComponent_parent(const vComponent *component) {
    return component != nullptr ? component->parent : nullptr;
}

} // extern "C"
