#pragma once

#include <cstdint>

#include <boost/graph/visitors.hpp>
#include <boost/property_map/property_map.hpp>

#include "host/hgw.h"

// Counts the steps of a long loop and asks the host every 4096 steps whether the
// call should stop; hgwPollInterrupt then raises "linkwork:runtime:Interrupted",
// which unwinds like any host error and passes the failure guard as itself.
class InterruptPoll {
public:
    void step() {
        if ((++steps_ & 4095u) == 0) hgwPollInterrupt();
    }

private:
    std::uint32_t steps_ = 0;
};

// A library event visitor that takes one poll step per event (by default per edge
// examined), for composing with make_bfs_visitor, make_dfs_visitor and the like.
template <class Event = boost::on_examine_edge>
struct PollOnEvent {
    using event_filter = Event;
    InterruptPoll* poll;
    template <class T, class G>
    void operator()(T, const G&) const { poll->step(); }
};

// A property map that takes one poll step per read or write and otherwise is
// `Map`: hands the library's algorithms that take no visitor (Kruskal's, Tarjan's,
// the topological sort) a place to poll, through the map they read per edge.
template <class Map>
struct PolledMap {
    using key_type = typename boost::property_traits<Map>::key_type;
    using value_type = typename boost::property_traits<Map>::value_type;
    using reference = value_type;
    using category = boost::read_write_property_map_tag;
    Map map;
    InterruptPoll* poll;
};
template <class Map>
PolledMap<Map> polled(Map map, InterruptPoll& poll) {
    return {map, &poll};
}
template <class Map>
typename PolledMap<Map>::value_type get(const PolledMap<Map>& m, const typename PolledMap<Map>::key_type& key) {
    m.poll->step();
    return get(m.map, key);
}
template <class Map>
void put(const PolledMap<Map>& m, const typename PolledMap<Map>::key_type& key,
         const typename PolledMap<Map>::value_type& value) {
    m.poll->step();
    put(m.map, key, value);
}
